#pragma once
// The simulated meter without its line: the register image, the command
// registers, the moving live values, fault injection and the request log.
// Handle() turns one received RTU frame into the answer frame to send.
// Every member is safe to call from any thread.

#include "register_image.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

struct MeterSimOptions {
    static constexpr int kNever = -1;

    std::uint8_t address = 1;
    // Reads that still show a command code after it was written, before the
    // command registers read 0; 0 clears at once, kNever keeps the code.
    int nvramClearReads = 1;
    int factoryClearReads = 1;
    // Frozen live values stay as the image holds them.
    bool frozen = false;
    // When not 0, the line serves only while the master's side of the
    // pseudo-terminal is set to this baud rate (see MeterSim).
    std::uint32_t speed = 0;
    // Bytes take their time on the line: a request is taken when its last
    // byte would have arrived, and an answer goes out a byte every 10 bits
    // of the line's speed (as the master set the pseudo-terminal).
    bool wire = false;
};

struct MeterFaults {
    // What a read is answered with instead of its registers.
    enum class Shape {
        Right,
        OtherFunction, // the same registers under function 4
        WriteEcho,     // the echo a multiple write would get
    };
    static constexpr int kAlways = -1;

    // Every answer goes out this long after its request came; requests that
    // come meanwhile queue and are answered in order.
    int answerDelayMs = 0;
    bool silent = false;             // receive and log, never answer
    int busyAnswers = 0;             // next N requests get exception 6
    int badCrcAnswers = 0;           // next N answers carry a wrong CRC
    int shortReads = -1;             // read answers carry at most K registers; -1 off
    int answerAddress = -1;          // answer as this slave address; -1 own
    // Requests touching [exceptionFirst, exceptionLast] get exceptionCode.
    std::uint8_t exceptionCode = 0;  // 0 off
    std::uint16_t exceptionFirst = 0;
    std::uint16_t exceptionLast = 0;
    // The lateRequest-th request from now (1 the next) is answered after
    // lateAnswerMs instead; 0 off.
    int lateRequest = 0;
    int lateAnswerMs = 0;
    Shape wrongShape = Shape::Right;
    int wrongShapeAnswers = 0;       // reads answered so; kAlways for all
    // The line vanishes when the vanishAfter-th request from now has come
    // (it is logged, not answered); 0 off.
    int vanishAfter = 0;
};

class MeterModel {
public:
    struct Answer {
        std::vector<std::uint8_t> frame; // address, PDU, CRC
        int delayMs = 0;
        bool vanish = false; // close the line instead of answering
    };
    struct Counters {
        int nvramCommits = 0;
        int factoryLoads = 0;
        int applies = 0;
    };

    explicit MeterModel(MeterSimOptions options = {});

    // One frame with a good CRC as it came from the line. No answer for
    // other addresses and while silent.
    std::optional<Answer> Handle(const std::uint8_t* frame, std::size_t length);

    std::uint8_t Address() const;
    std::uint16_t Reg(std::uint16_t address) const;
    void SetReg(std::uint16_t address, std::uint16_t value);
    float Float(std::uint16_t address) const;
    void SetFloat(std::uint16_t address, float value);
    void SetU32(std::uint16_t address, std::uint32_t value);
    RegisterImage Image() const;
    void SetImage(const RegisterImage& image);

    void SetFrozen(bool frozen);
    void SetNvramClearReads(int reads);
    void SetFactoryClearReads(int reads);

    // Fault injection.
    void SetFaults(const MeterFaults& faults);
    void SetAnswerDelay(int ms);
    void SetSilent(bool silent);
    void SetBusyAnswers(int count);
    void SetBadCrcAnswers(int count);
    void SetShortReads(int registers);
    void SetAnswerAddress(int address);
    void SetExceptionRange(std::uint16_t first, std::uint16_t last, std::uint8_t code);
    void ClearExceptionRange();
    void SetLateAnswer(int request, int ms);
    void SetWrongShape(MeterFaults::Shape shape, int answers = MeterFaults::kAlways);
    void SetVanishAfter(int requests);

    // PDUs of the requests addressed to this meter, in arrival order.
    std::vector<std::vector<std::uint8_t>> Requests() const;
    std::size_t RequestCount() const;
    void ClearRequests();
    // True once at least `count` requests have been logged.
    bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

    Counters GetCounters() const;

private:
    std::vector<std::uint8_t> Process(const std::uint8_t* pdu, std::size_t length);
    std::vector<std::uint8_t> ReadHolding(std::uint16_t start, std::uint16_t count);
    void AfterWrite(std::uint32_t start, std::uint32_t count);
    void UpdateLiveValues();
    bool HitsExceptionRange(std::uint32_t start, std::uint32_t count) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable requestLogged_;
    MeterSimOptions options_;
    MeterFaults faults_;
    RegisterImage image_;
    std::vector<std::vector<std::uint8_t>> requests_;
    Counters counters_;
    int nvramReadsLeft_ = 0;   // kNever: the code stays
    int factoryReadsLeft_ = 0;
    std::chrono::steady_clock::time_point started_;
};
