#pragma once
// A bounded queue that never blocks: any thread may push, any may pop, and
// a push into a full queue fails at once. Each cell carries a sequence
// number that says whose turn it is (a producer's or the consumer's), so
// neither side ever waits for the other.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

template <class T>
class BoundedQueue {
public:
    // Room for `capacity` values, rounded up to a power of two (at least 2).
    explicit BoundedQueue(std::size_t capacity) : capacity_(RoundUp(capacity)), cells_(std::make_unique<Cell[]>(capacity_))
    {
        for (std::size_t i = 0; i < capacity_; ++i)
            cells_[i].sequence.store(i, std::memory_order_relaxed);
    }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // False when the queue is full.
    bool TryPush(const T& value)
    {
        std::size_t position = head_.load(std::memory_order_relaxed);
        Cell* cell;
        for (;;) {
            cell = &cells_[position & (capacity_ - 1)];
            const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position);
            if (lag == 0) {
                if (head_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
                    break;
            } else if (lag < 0) {
                return false;
            } else {
                position = head_.load(std::memory_order_relaxed);
            }
        }
        cell->value = value;
        cell->sequence.store(position + 1, std::memory_order_release);
        return true;
    }

    // False when the queue is empty.
    bool TryPop(T& out)
    {
        std::size_t position = tail_.load(std::memory_order_relaxed);
        Cell* cell;
        for (;;) {
            cell = &cells_[position & (capacity_ - 1)];
            const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
            const auto lag = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position + 1);
            if (lag == 0) {
                if (tail_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed))
                    break;
            } else if (lag < 0) {
                return false;
            } else {
                position = tail_.load(std::memory_order_relaxed);
            }
        }
        out = cell->value;
        cell->sequence.store(position + capacity_, std::memory_order_release);
        return true;
    }

    std::size_t Capacity() const { return capacity_; }

private:
    static std::size_t RoundUp(std::size_t n)
    {
        std::size_t c = 2;
        while (c < n)
            c *= 2;
        return c;
    }

    struct Cell {
        std::atomic<std::size_t> sequence;
        T value;
    };
    std::size_t capacity_;
    std::unique_ptr<Cell[]> cells_;
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};
