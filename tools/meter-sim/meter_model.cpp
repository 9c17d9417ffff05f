#include "meter_model.h"

#include "crc16.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;
constexpr std::uint8_t kBusy = 6;
constexpr std::uint16_t kNvramCode = 1234;
constexpr std::uint16_t kFactoryCode = 101;
constexpr std::uint16_t kApplyCode = 10;
constexpr std::uint32_t kFactoryBlockLength = 5;

std::vector<std::uint8_t> Exception(std::uint8_t function, std::uint8_t code)
{
    return {static_cast<std::uint8_t>(function | 0x80), code};
}

bool Covers(std::uint32_t start, std::uint32_t count, std::uint32_t address)
{
    return address >= start && address < start + count;
}

bool Overlaps(std::uint32_t start, std::uint32_t count, std::uint32_t first, std::uint32_t last)
{
    return start <= last && start + count - 1 >= first;
}

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

} // namespace

MeterModel::MeterModel(MeterSimOptions options)
    : options_(options), image_(StartupImage()), started_(std::chrono::steady_clock::now())
{
}

std::optional<MeterModel::Answer> MeterModel::Handle(const std::uint8_t* frame, std::size_t length)
{
    if (length < 4)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    if (frame[0] != options_.address)
        return std::nullopt;
    requests_.emplace_back(frame + 1, frame + length - 2);
    requestLogged_.notify_all();
    if (faults_.silent)
        return std::nullopt;

    Answer answer;
    answer.delayMs = faults_.answerDelayMs;
    if (faults_.vanishAfter > 0 && --faults_.vanishAfter == 0) {
        answer.vanish = true;
        return answer;
    }
    if (faults_.lateRequest > 0 && --faults_.lateRequest == 0)
        answer.delayMs = faults_.lateAnswerMs;

    std::vector<std::uint8_t> pdu;
    if (faults_.busyAnswers > 0) {
        --faults_.busyAnswers;
        pdu = Exception(frame[1], kBusy);
    } else {
        pdu = Process(frame + 1, length - 3);
        if (pdu[0] == 3 && faults_.wrongShape != MeterFaults::Shape::Right && faults_.wrongShapeAnswers != 0) {
            if (faults_.wrongShapeAnswers > 0)
                --faults_.wrongShapeAnswers;
            if (faults_.wrongShape == MeterFaults::Shape::OtherFunction)
                pdu[0] = 4;
            else
                pdu = {16, frame[2], frame[3], frame[4], frame[5]};
        }
    }

    answer.frame.reserve(pdu.size() + 3);
    answer.frame.push_back(faults_.answerAddress >= 0 ? static_cast<std::uint8_t>(faults_.answerAddress)
                                                      : options_.address);
    answer.frame.insert(answer.frame.end(), pdu.begin(), pdu.end());
    answer.frame.resize(answer.frame.size() + 2);
    PutCrc(answer.frame.data(), answer.frame.size() - 2);
    if (faults_.badCrcAnswers > 0) {
        --faults_.badCrcAnswers;
        answer.frame.end()[-2] ^= 0x5A;
        answer.frame.end()[-1] ^= 0x5A;
    }
    return answer;
}

std::vector<std::uint8_t> MeterModel::Process(const std::uint8_t* pdu, std::size_t length)
{
    const std::uint8_t function = pdu[0];
    switch (function) {
    case 3: {
        if (length != 5)
            return Exception(function, kIllegalValue);
        const std::uint16_t start = Word(pdu + 1);
        const std::uint16_t count = Word(pdu + 3);
        if (count < 1 || count > 125)
            return Exception(function, kIllegalValue);
        if (std::uint32_t{start} + count > 65536)
            return Exception(function, kIllegalAddress);
        if (HitsExceptionRange(start, count))
            return Exception(function, faults_.exceptionCode);
        return ReadHolding(start, count);
    }
    case 6: {
        if (length != 5)
            return Exception(function, kIllegalValue);
        const std::uint16_t address = Word(pdu + 1);
        if (HitsExceptionRange(address, 1))
            return Exception(function, faults_.exceptionCode);
        image_[address] = Word(pdu + 3);
        AfterWrite(address, 1);
        return {pdu, pdu + 5};
    }
    case 16: {
        if (length < 6)
            return Exception(function, kIllegalValue);
        const std::uint16_t start = Word(pdu + 1);
        const std::uint16_t count = Word(pdu + 3);
        const std::uint8_t byteCount = pdu[5];
        if (count < 1 || count > 123 || byteCount != 2 * count || length != 6u + byteCount)
            return Exception(function, kIllegalValue);
        if (std::uint32_t{start} + count > 65536)
            return Exception(function, kIllegalAddress);
        if (HitsExceptionRange(start, count))
            return Exception(function, faults_.exceptionCode);
        for (std::uint32_t i = 0; i < count; ++i)
            image_[start + i] = Word(pdu + 6 + 2 * i);
        AfterWrite(start, count);
        return {pdu, pdu + 5};
    }
    default:
        return Exception(function, kIllegalFunction);
    }
}

std::vector<std::uint8_t> MeterModel::ReadHolding(std::uint16_t start, std::uint16_t count)
{
    if (!options_.frozen)
        UpdateLiveValues();
    std::uint32_t carried = count;
    if (faults_.shortReads >= 0)
        carried = std::min<std::uint32_t>(carried, static_cast<std::uint32_t>(faults_.shortReads));
    std::vector<std::uint8_t> pdu{3, static_cast<std::uint8_t>(2 * carried)};
    for (std::uint32_t i = 0; i < carried; ++i) {
        const std::uint16_t v = image_[start + i];
        pdu.push_back(static_cast<std::uint8_t>(v >> 8));
        pdu.push_back(static_cast<std::uint8_t>(v & 0xFF));
    }

    // The command registers show a code for a number of reads, then 0.
    if (Covers(start, count, meter_regs::kNvramCommand) && nvramReadsLeft_ > 0 && --nvramReadsLeft_ == 0)
        image_[meter_regs::kNvramCommand] = 0;
    if (Overlaps(start, count, meter_regs::kFactoryCommand,
                 meter_regs::kFactoryCommand + kFactoryBlockLength - 1) &&
        factoryReadsLeft_ > 0 && --factoryReadsLeft_ == 0)
        std::fill_n(image_.begin() + meter_regs::kFactoryCommand, kFactoryBlockLength, 0);
    return pdu;
}

void MeterModel::AfterWrite(std::uint32_t start, std::uint32_t count)
{
    using namespace meter_regs;
    if (Covers(start, count, kNvramCommand)) {
        nvramReadsLeft_ = 0;
        if (image_[kNvramCommand] == kNvramCode) {
            ++counters_.nvramCommits;
            nvramReadsLeft_ = options_.nvramClearReads;
            if (nvramReadsLeft_ == 0)
                image_[kNvramCommand] = 0;
        }
    }

    if (Covers(start, count, kFactoryCommand)) {
        factoryReadsLeft_ = 0;
        const std::uint16_t code = image_[kFactoryCommand];
        if (code == kApplyCode) {
            ++counters_.applies;
            std::fill_n(image_.begin() + kFactoryCommand, kFactoryBlockLength, 0);
        } else if (code == kFactoryCode && GetFloat(image_, kFactoryCommand + 1) == 101.0f &&
                   GetFloat(image_, kFactoryCommand + 3) == 101.0f) {
            ++counters_.factoryLoads;
            RegisterImage factory = FactoryImage();
            std::copy_n(image_.begin() + kFactoryCommand, kFactoryBlockLength,
                        factory.begin() + kFactoryCommand);
            image_ = factory;
            factoryReadsLeft_ = options_.factoryClearReads;
            if (factoryReadsLeft_ == 0)
                std::fill_n(image_.begin() + kFactoryCommand, kFactoryBlockLength, 0);
        }
    }

    // Settings written to the main block show where the meter reports them.
    struct Mirror {
        std::uint16_t from, to;
    };
    static constexpr Mirror kMirrors[] = {
        {kSalinitySetting, kLiveSalinity},
        {kOilAdjust, kPhaseBlock[0] + 26},
        {kWaterAdjust, kPhaseBlock[1] + 26},
        {kOilIndex, kPhaseBlock[0] + 28},
        {kWaterIndex, kPhaseBlock[1] + 28},
    };
    for (const Mirror& m : kMirrors) {
        if (Overlaps(start, count, m.from, m.from + 1u)) {
            image_[m.to] = image_[m.from];
            image_[m.to + 1u] = image_[m.from + 1u];
        }
    }
}

void MeterModel::UpdateLiveValues()
{
    using namespace meter_regs;
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const auto waterCut = static_cast<float>(12.375 + 1.5 * std::sin(t / 7.0));
    PutFloat(image_, kWaterCut, waterCut);
    PutFloat(image_, kWaterCutTrunc, std::trunc(waterCut));
    PutFloat(image_, kTemperature, static_cast<float>(24.5 + 0.5 * std::sin(t / 11.0)));
    PutFloat(image_, kBoardTemperature, static_cast<float>(31.25 + 0.25 * std::sin(t / 13.0)));
}

bool MeterModel::HitsExceptionRange(std::uint32_t start, std::uint32_t count) const
{
    return faults_.exceptionCode != 0 &&
           Overlaps(start, count, faults_.exceptionFirst, faults_.exceptionLast);
}

std::uint8_t MeterModel::Address() const
{
    std::lock_guard lock(mutex_);
    return options_.address;
}

std::uint16_t MeterModel::Reg(std::uint16_t address) const
{
    std::lock_guard lock(mutex_);
    return image_[address];
}

void MeterModel::SetReg(std::uint16_t address, std::uint16_t value)
{
    std::lock_guard lock(mutex_);
    image_[address] = value;
}

float MeterModel::Float(std::uint16_t address) const
{
    std::lock_guard lock(mutex_);
    return GetFloat(image_, address);
}

void MeterModel::SetFloat(std::uint16_t address, float value)
{
    std::lock_guard lock(mutex_);
    PutFloat(image_, address, value);
}

void MeterModel::SetU32(std::uint16_t address, std::uint32_t value)
{
    std::lock_guard lock(mutex_);
    PutU32(image_, address, value);
}

RegisterImage MeterModel::Image() const
{
    std::lock_guard lock(mutex_);
    return image_;
}

void MeterModel::SetImage(const RegisterImage& image)
{
    std::lock_guard lock(mutex_);
    image_ = image;
    nvramReadsLeft_ = 0;
    factoryReadsLeft_ = 0;
}

void MeterModel::SetFrozen(bool frozen)
{
    std::lock_guard lock(mutex_);
    options_.frozen = frozen;
}

void MeterModel::SetNvramClearReads(int reads)
{
    std::lock_guard lock(mutex_);
    options_.nvramClearReads = reads;
}

void MeterModel::SetFactoryClearReads(int reads)
{
    std::lock_guard lock(mutex_);
    options_.factoryClearReads = reads;
}

void MeterModel::SetFaults(const MeterFaults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

void MeterModel::SetAnswerDelay(int ms)
{
    std::lock_guard lock(mutex_);
    faults_.answerDelayMs = std::max(ms, 0);
}

void MeterModel::SetSilent(bool silent)
{
    std::lock_guard lock(mutex_);
    faults_.silent = silent;
}

void MeterModel::SetBusyAnswers(int count)
{
    std::lock_guard lock(mutex_);
    faults_.busyAnswers = std::max(count, 0);
}

void MeterModel::SetBadCrcAnswers(int count)
{
    std::lock_guard lock(mutex_);
    faults_.badCrcAnswers = std::max(count, 0);
}

void MeterModel::SetShortReads(int registers)
{
    std::lock_guard lock(mutex_);
    faults_.shortReads = registers;
}

void MeterModel::SetAnswerAddress(int address)
{
    std::lock_guard lock(mutex_);
    faults_.answerAddress = address;
}

void MeterModel::SetExceptionRange(std::uint16_t first, std::uint16_t last, std::uint8_t code)
{
    std::lock_guard lock(mutex_);
    faults_.exceptionFirst = first;
    faults_.exceptionLast = last;
    faults_.exceptionCode = code;
}

void MeterModel::ClearExceptionRange() { SetExceptionRange(0, 0, 0); }

void MeterModel::SetLateAnswer(int request, int ms)
{
    std::lock_guard lock(mutex_);
    faults_.lateRequest = std::max(request, 0);
    faults_.lateAnswerMs = std::max(ms, 0);
}

void MeterModel::SetWrongShape(MeterFaults::Shape shape, int answers)
{
    std::lock_guard lock(mutex_);
    faults_.wrongShape = shape;
    faults_.wrongShapeAnswers = answers;
}

void MeterModel::SetVanishAfter(int requests)
{
    std::lock_guard lock(mutex_);
    faults_.vanishAfter = std::max(requests, 0);
}

std::vector<std::vector<std::uint8_t>> MeterModel::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t MeterModel::RequestCount() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void MeterModel::ClearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool MeterModel::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return requestLogged_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

MeterModel::Counters MeterModel::GetCounters() const
{
    std::lock_guard lock(mutex_);
    return counters_;
}
