#pragma once
// Counters of the link, taken from the traffic tap: requests, answers and
// each kind of failure, exception answers by code, repeats, and the answer
// time (end of the request to the first byte of its answer) over the last
// answers. Fed from the channel's threads, read from any thread.

#include "traffic.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

struct LinkCounters {
    std::uint64_t requests = 0;
    std::uint64_t answers = 0; // taken as answers, exception answers included
    std::uint64_t timeOuts = 0;
    std::uint64_t crcErrors = 0;
    std::uint64_t retries = 0; // requests that repeat the one before
    std::uint64_t stale = 0;
    std::uint64_t misfits = 0;
    std::uint64_t otherAddress = 0;
    std::uint64_t portLost = 0;
    std::uint64_t echoes = 0; // requests the line handed back
    std::vector<std::pair<int, std::uint64_t>> exceptions; // code, answers; by code
    struct AnswerTimes {
        std::int64_t minUs, medianUs, maxUs;
        std::size_t samples;
    };
    std::optional<AnswerTimes> answerTime; // none before the first answer

    std::uint64_t ExceptionAnswers() const;
};

class LinkStatistics {
public:
    static constexpr std::size_t kAnswerTimeSamples = 1000;

    void Add(const TrafficEntry& entry);
    void Reset();
    LinkCounters Counters() const;

private:
    mutable std::mutex lock_;
    LinkCounters counts_;
    std::array<std::uint64_t, 256> exceptions_{};
    std::array<std::int64_t, kAnswerTimeSamples> times_{};
    std::size_t timeCount_ = 0; // samples held, up to the capacity
    std::size_t timeNext_ = 0;  // where the next sample goes
};
