// libFuzzer target: arbitrary bytes taken as a frame that the reader hands
// over, through the frame check, the answer check against one of the poll's
// or the dump's reads or a write, and the decoding of the blocks into the
// list's values and the parameter file. Built by scripts/fuzz.
//
// Input: one selector byte, then the frame. The selector picks the request
// (low six bits) and may fix the frame's address (bit 6) and its CRC
// (bit 7), so that the checks behind those two are reached often.

#include "crc16.h"
#include "dump_plan.h"
#include "frame_check.h"
#include "layout_writer.h"
#include "pdu.h"
#include "poll_plan.h"
#include "register_map.h"
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size < 1 + 5 || size > 1 + 256)
        return 0; // the reader drops bursts under 5 bytes and cuts at 256
    const std::uint8_t selector = input[0];
    std::uint8_t frame[256];
    const auto length = static_cast<std::uint32_t>(size - 1);
    std::memcpy(frame, input + 1, length);
    if (selector & 0x40)
        frame[0] = kAddress;
    if (selector & 0x80)
        PutCrc(frame, length - 2);
    if (JudgeFrame(frame, length, kAddress) != FrameVerdict::Good)
        return 0;

    const std::vector<DumpRead>& dumpReads = DumpReads();
    const std::size_t pick = (selector & 0x3F) % (kPollReads.size() + dumpReads.size() + 2);
    ModBusRequest request;
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

    FrameAnswer answer(frame, length);
    std::int32_t exception = 0;
    if (!answer.Parse(exception) || !AnswerFits(request, answer) || exception != 0)
        return 0;
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
