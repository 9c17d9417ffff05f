#pragma once
// vokctl's comparisons of parameter files: verify against the meter, and
// diff of two files without one.

#include <string>

class CliFront;
class TLink1Thread;

// diff A B: the registers that the two files assign differently, one line each.
int DiffFiles(const std::string& a, const std::string& b);

// The file check before verify opens the link: 0 for a valid file, else
// the exit status after its messages.
int CheckFileToVerify(const std::string& path);
// verify FILE on an open link.
int VerifyMeter(TLink1Thread& link, CliFront& front, const std::string& path);
