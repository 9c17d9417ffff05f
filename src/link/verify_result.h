#pragma once
// The outcome of reading back what a parameter file assigns and comparing
// it with the file, bit for bit.

#include <cstddef>
#include <string>
#include <vector>

struct VerifyResult {
    enum class Outcome {
        Match,       // every value the file assigns is in the meter
        Differ,      // `differences` lists the values that are not
        InvalidFile, // the file cannot be read or fails validation; see `messages`
        LinkFailure, // a read failed; see `messages`
    } outcome = Outcome::Match;
    std::vector<std::string> differences; // "<register> <type>: в файле <value>, в приборе <value>"
    std::vector<std::string> messages;
    std::size_t compared = 0; // values the file assigns
    std::size_t reads = 0;    // read requests answered
};

// What a report window shows of a verification: the differences and
// messages, then one closing line.
std::vector<std::string> VerifyReportLines(const VerifyResult& result);
