// The traffic tap against a raw pty peer: it reports exactly the frames on
// the wire, each request and each burst the peer wrote, and the event that
// ended each wait, in the order they happened.

#include "crc16.h"
#include "link_tap.h"
#include "pty_pair.h"
#include "rtu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using K = TrafficKind;
using namespace std::chrono_literals;

Bytes Frame(std::uint8_t address, const Bytes& pdu, bool goodCrc = true)
{
    Bytes f(pdu.size() + 3);
    f[0] = address;
    std::copy(pdu.begin(), pdu.end(), f.begin() + 1);
    PutCrc(f.data(), f.size() - 2);
    if (!goodCrc)
        f.back() ^= 0x5A;
    return f;
}

Bytes EntryBytes(const TrafficEntry& e) { return Bytes(e.bytes, e.bytes + e.length); }

// What the transaction ended with: 0, a link error code, or 100 + an exception code.
template <class F>
int Outcome(F&& call)
{
    try {
        call();
    } catch (ModBusRtu::error_t e) {
        return e;
    } catch (ModBusPdu::error_t e) {
        return 100 + e;
    }
    return 0;
}

struct Case {
    const char* name;
    std::vector<Bytes> before; // written, and handed over, before the request
    std::vector<Bytes> bursts; // the peer's reply, 40 ms between bursts
    int outcome;
    std::vector<TrafficKind> kinds;
};

} // namespace

TEST(TrafficTap, ReportsTheFramesOnTheWireAndTheEventThatEndsEachWait)
{
    const Bytes answer = Frame(1, {3, 2, 0x12, 0x34});
    const Case cases[] = {
        {"an answer", {}, {answer}, 0, {K::Request, K::Frame, K::Answer}},
        {"silence", {}, {}, 1, {K::Request, K::TimeOut}},
        {"a wrong CRC", {}, {Frame(1, {3, 2, 0x12, 0x34}, false)}, 2, {K::Request, K::Frame, K::CrcError}},
        {"another address first", {}, {Frame(9, {3, 2, 0, 0}), answer}, 0,
         {K::Request, K::Frame, K::OtherAddress, K::Frame, K::Answer}},
        {"an exception", {}, {Frame(1, {0x83, 2})}, 102, {K::Request, K::Frame, K::Answer}},
        {"function 4 for 3", {}, {Frame(1, {4, 2, 0x12, 0x34})}, 5, {K::Request, K::Frame, K::Misfit}},
        {"a fragment", {}, {Bytes{1, 3, 2}}, 1, {K::Request, K::Frame, K::TimeOut}},
        {"a frame before the request", {answer}, {answer}, 0, {K::Frame, K::Stale, K::Request, K::Frame, K::Answer}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        LinkTap tap;
        ModBusRtu rtu;
        rtu.SetObserver(&tap);
        ASSERT_TRUE(rtu.Open(pty.SlavePath(), 115200));
        for (const Bytes& b : c.before) {
            pty.Write(b);
            std::this_thread::sleep_for(60ms);
        }
        auto peer = std::async(std::launch::async, [&] {
            const Bytes request = pty.Read(30, 5000);
            for (std::size_t i = 0; i < c.bursts.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(40ms);
                pty.Write(c.bursts[i]);
            }
            return request;
        });
        const ModBusRequest read(3, 2000, 1);
        EXPECT_EQ(Outcome([&] { rtu.Transact(1, read, 300); }), c.outcome);
        const Bytes onTheWire = peer.get();
        rtu.Close();

        std::vector<TrafficEntry> entries;
        tap.Drain(entries, 100);
        EXPECT_EQ(tap.TakeDropped(), 0u);
        std::vector<TrafficKind> kinds;
        std::vector<Bytes> frames;
        for (const TrafficEntry& e : entries) {
            kinds.push_back(e.kind);
            if (e.kind == K::Request) {
                EXPECT_EQ(EntryBytes(e), onTheWire);
            } else if (e.kind == K::Frame) {
                frames.push_back(EntryBytes(e));
            } else if (e.kind == K::OtherAddress) {
                EXPECT_EQ(e.code, 9);
            } else if (e.kind == K::Answer) {
                EXPECT_EQ(e.code, c.outcome > 100 ? c.outcome - 100 : 0);
            }
        }
        EXPECT_EQ(kinds, c.kinds);
        std::vector<Bytes> written = c.before;
        written.insert(written.end(), c.bursts.begin(), c.bursts.end());
        EXPECT_EQ(frames, written);
        for (std::size_t i = 1; i < entries.size(); ++i)
            EXPECT_LE(entries[i - 1].timeUs, entries[i].timeUs + 1000) << "entry " << i << " out of order";
    }
}
