#pragma once
// Comparing parameter files with a meter and with each other: the values a
// valid file leaves in the meter, the reads that fetch them back in as few
// requests as the meter allows, and the bit-for-bit comparison with its
// report lines.

#include "script.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One value that a file leaves in the meter.
struct ParamAssignment {
    int registerNumber = 0; // 1..65536, as in the file
    ScriptValueType type = ScriptValueType::Float;
    std::uint32_t bits = 0; // float: its 32-bit pattern; ushort and sshort: the 16 bits
    std::string text;       // float: its text in the file (empty when not from a file)
};

// Whether the file's value stands for the value with the pattern `bits`:
// the patterns are equal, or the file's float text is what a dump writes
// for that value ("%f" or "%e", same rounding). A dump's six decimals
// cannot hold every float, and its own file must not differ from its meter.
bool FileValueStandsFor(const ParamAssignment& fileValue, std::uint32_t bits);

// The values of a valid file's steps in register order. A register written
// twice keeps its last value; a value any of whose registers a later line
// writes again is left to that line, so that each register belongs to the
// value the meter holds last.
std::vector<ParamAssignment> EffectiveAssignments(const std::vector<ScriptStep>& steps);

// A parameter file read and validated for comparing.
struct ParamFileValues {
    enum class Outcome { Valid, Unreadable, Invalid } outcome = Outcome::Valid;
    std::vector<std::string> messages; // why it cannot be read, or its validation messages
    std::vector<ParamAssignment> values;
};
ParamFileValues ReadParamFileValues(const std::string& path);

// Protocol addresses and register counts of the reads.
struct ReadRun {
    std::uint16_t start = 0;
    std::uint16_t count = 0;
};

// Contiguous runs of the registers that `values` occupy, each at most
// `maxCount` registers long; registers past protocol address 65535 cannot be
// read and are left out.
std::vector<ReadRun> PlanReads(const std::vector<ParamAssignment>& values, std::uint16_t maxCount = 125);

// Register words read from the meter, by protocol address.
using MeterWords = std::map<std::uint32_t, std::uint16_t>;

// The register words of a value as the meter holds them, first register first.
std::vector<std::uint16_t> AssignmentWords(const ParamAssignment& value);

// "float", "ushort", "sshort"
const char* ParamTypeWord(ScriptValueType type);

// The value as text: a float in the shortest form that reads back to the
// same pattern ("0.1", "-0", "1e+20", "INF", "NAN (0x7FC00000)"), an
// integer in decimal.
std::string ParamValueText(ScriptValueType type, std::uint32_t bits);

// One line per value that the meter's words do not agree with (see
// FileValueStandsFor):
// "<register number> <type word>: в файле <value>, в приборе <value>"; a
// value whose registers were not all read shows "нет ответа" for the meter.
std::vector<std::string> CompareWithMeter(const std::vector<ParamAssignment>& values, const MeterWords& meter);

// A register that two files assign differently or that only one assigns;
// a side that does not assign it is null. The pointers are into the vectors
// given to PairDifferences.
struct AssignmentPair {
    int registerNumber = 0;
    const ParamAssignment* a = nullptr;
    const ParamAssignment* b = nullptr;
};
std::vector<AssignmentPair> PairDifferences(const std::vector<ParamAssignment>& a,
                                            const std::vector<ParamAssignment>& b);

// One line per register that the two files assign differently (neither
// side's value stands for the other's, see FileValueStandsFor) or that only
// one of them assigns: "<register number> <type word>: в A <value>, в B
// <value>", "нет" for a missing value, and each side's type word where the
// types differ.
std::vector<std::string> DiffAssignments(const std::vector<ParamAssignment>& a, const std::vector<ParamAssignment>& b);
