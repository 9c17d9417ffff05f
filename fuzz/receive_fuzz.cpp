// libFuzzer target: arbitrary bytes taken as a frame that the reader hands
// over, through the traffic tap's words for it (as a frame and as a
// request), the length rule of fast framing, the frame check, the answer
// check against one of the poll's or the dump's reads or a write, and the
// decoding of the blocks into the
// list's values and the parameter file. Built by scripts/fuzz.
//
// Input: one selector byte, then the frame. The selector picks the request
// (low six bits). With bit 7 clear, bit 6 fixes the frame's address and its
// CRC, so that the checks behind those two are reached often. With bit 7
// set, the rest of the input is the register contents of an answer shaped
// to fit the request, so that the decoding is reached for every block; the
// first of those bytes, when odd, flips one bit of the finished frame.

#include "crc16.h"
#include "dump_plan.h"
#include "frame_check.h"
#include "frame_length.h"
#include "layout_writer.h"
#include "pdu.h"
#include "poll_plan.h"
#include "register_map.h"
#include "traffic_text.h"
#include "value_text.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kAddress = 1;

// The view of a frame's PDU as the channel reads it in place.
struct FrameAnswer : ModBusAnswer {
    FrameAnswer(std::uint8_t* frame, std::uint32_t frameLength)
    {
        data = frame + 1;
        length = frameLength - 3;
    }
};

void ShowPoll(MeterRegisters& registers)
{
    for (const RegRow& row : RegRows(registers))
        row.object->GetValueText();
    FormatListFloat(ParameterValue(registers.ModAnalyzer.Get(), registers.EmulsionPhase.Get(), registers.Phases));
}

// What the length rule says of every beginning of the frame stays within a
// frame and asks for more than it has.
void CheckLengthRule(const std::uint8_t* frame, std::size_t length)
{
    for (const FrameSide side : {FrameSide::Answer, FrameSide::Request}) {
        for (std::size_t count = 0; count <= length; ++count) {
            const FrameExtent e = FrameExtentOf(side, frame, count);
            if (e.kind == FrameExtent::Kind::Whole && (e.bytes < 5 || e.bytes > 256))
                __builtin_trap();
            if (e.kind == FrameExtent::Kind::NeedMore && e.bytes <= count)
                __builtin_trap();
        }
    }
}

} // namespace

namespace {

// The request that the selector picks.
std::size_t PickRequest(std::uint8_t selector, ModBusRequest& request)
{
    const std::vector<DumpRead>& dumpReads = DumpReads();
    const std::size_t pick = (selector & 0x3F) % (kPollReads.size() + dumpReads.size() + 2);
    if (pick < kPollReads.size()) {
        request.Build(3, kPollReads[pick].start, kPollReads[pick].count);
    } else if (pick < kPollReads.size() + dumpReads.size()) {
        const DumpRead& read = dumpReads[pick - kPollReads.size()];
        request.Build(3, read.start, read.count);
    } else if (pick == kPollReads.size() + dumpReads.size()) {
        request.Build(6, kNvramCommandRegister, 1234);
    } else {
        request.Build(16, 2000, 2);
    }
    return pick;
}

// An answer frame that fits `request`, its registers taken from `bytes`.
std::uint32_t ShapedAnswer(const ModBusRequest& request, const std::uint8_t* bytes, std::size_t size,
                           std::uint8_t* frame)
{
    frame[0] = kAddress;
    std::uint32_t pdu = 5;
    if (request.data[0] == 3) {
        const std::uint32_t count = 2u * ((request.data[3] << 8) | request.data[4]);
        frame[1] = 3;
        frame[2] = static_cast<std::uint8_t>(count);
        for (std::uint32_t i = 0; i < count; ++i)
            frame[3 + i] = size ? bytes[i % size] : 0;
        pdu = 2 + count;
    } else {
        std::memcpy(frame + 1, request.data, 5);
    }
    PutCrc(frame, pdu + 1);
    return pdu + 3;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size < 2 || size > 1 + 256)
        return 0;
    const std::uint8_t selector = input[0];
    ModBusRequest request;
    const std::size_t pick = PickRequest(selector, request);

    std::uint8_t frame[256];
    std::uint32_t length = 0;
    if (selector & 0x80) {
        length = ShapedAnswer(request, input + 1, size - 1, frame);
        if (input[1] & 1)
            frame[(input[1] >> 1) % length] ^= static_cast<std::uint8_t>(1u << (input[1] % 8));
    } else {
        length = static_cast<std::uint32_t>(size - 1);
        if (length < 5)
            return 0; // the reader drops bursts under 5 bytes
        std::memcpy(frame, input + 1, length);
        if (selector & 0x40) {
            frame[0] = kAddress;
            PutCrc(frame, length - 2);
        }
    }
    for (const TrafficKind kind : {TrafficKind::Frame, TrafficKind::Request}) {
        TrafficEntry entry;
        entry.kind = kind;
        entry.SetBytes(frame, length);
        FrameHex(entry);
        TrafficSummary(entry, TrafficWords::Russian);
        TrafficSummary(entry, TrafficWords::English);
        Severity(entry);
    }
    CheckLengthRule(frame, length);
    if (JudgeFrame(frame, length, kAddress) != FrameVerdict::Good)
        return 0;

    FrameAnswer answer(frame, length);
    std::int32_t exception = 0;
    if (!answer.Parse(exception) || !AnswerFits(request, answer) || exception != 0)
        return 0;
    const std::vector<DumpRead>& dumpReads = DumpReads();
    if (pick < kPollReads.size()) {
        static MeterRegisters registers;
        DecodePollRead(pick, answer, registers);
        ShowPoll(registers);
    } else if (pick < kPollReads.size() + dumpReads.size()) {
        static MeterConfig config;
        DecodeDumpRead(dumpReads[pick - kPollReads.size()], answer, config);
        ParamFileText(config);
    }
    return 0;
}
