#include "link_statistics.h"

#include <algorithm>

std::uint64_t LinkCounters::ExceptionAnswers() const
{
    std::uint64_t n = 0;
    for (const auto& [code, count] : exceptions)
        n += count;
    return n;
}

void LinkStatistics::Add(const TrafficEntry& entry)
{
    std::lock_guard lock(lock_);
    switch (entry.kind) {
    case TrafficKind::Request:
        ++counts_.requests;
        counts_.retries += entry.repeat;
        break;
    case TrafficKind::Answer:
        ++counts_.answers;
        if (entry.code != 0)
            ++exceptions_[entry.code];
        times_[timeNext_] = entry.detail;
        timeNext_ = (timeNext_ + 1) % kAnswerTimeSamples;
        timeCount_ = std::min(timeCount_ + 1, kAnswerTimeSamples);
        break;
    case TrafficKind::TimeOut:
        ++counts_.timeOuts;
        break;
    case TrafficKind::CrcError:
        ++counts_.crcErrors;
        break;
    case TrafficKind::OtherAddress:
        ++counts_.otherAddress;
        break;
    case TrafficKind::Stale:
        ++counts_.stale;
        break;
    case TrafficKind::Misfit:
        ++counts_.misfits;
        break;
    case TrafficKind::PortLost:
        ++counts_.portLost;
        break;
    case TrafficKind::Echo:
        ++counts_.echoes;
        break;
    case TrafficKind::Frame:
    case TrafficKind::Opened:
        break;
    }
}

void LinkStatistics::Reset()
{
    std::lock_guard lock(lock_);
    counts_ = {};
    exceptions_.fill(0);
    timeCount_ = 0;
    timeNext_ = 0;
}

LinkCounters LinkStatistics::Counters() const
{
    LinkCounters out;
    std::array<std::int64_t, kAnswerTimeSamples> times;
    std::size_t n;
    {
        // Only copies under the lock: the channel's threads never wait long.
        std::lock_guard lock(lock_);
        out = counts_;
        for (std::size_t code = 0; code < exceptions_.size(); ++code)
            if (exceptions_[code] != 0)
                out.exceptions.emplace_back(static_cast<int>(code), exceptions_[code]);
        n = timeCount_;
        std::copy_n(times_.begin(), n, times.begin());
    }
    if (n > 0) {
        const auto first = times.begin();
        const auto last = first + static_cast<std::ptrdiff_t>(n);
        const auto [lo, hi] = std::minmax_element(first, last);
        const std::int64_t minUs = *lo, maxUs = *hi;
        const auto mid = first + static_cast<std::ptrdiff_t>(n / 2);
        std::nth_element(first, mid, last);
        out.answerTime = LinkCounters::AnswerTimes{minUs, *mid, maxUs, n};
    }
    return out;
}
