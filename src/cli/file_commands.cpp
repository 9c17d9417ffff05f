#include "file_commands.h"

#include "cli_front.h"
#include "compare_plan.h"
#include "exit_status.h"
#include "link_thread.h"
#include "post_and_wait.h"

#include <cstdio>

namespace {

// The messages of a file that cannot be compared; its exit status.
int FileFailure(const ParamFileValues& file, const std::string& prefix)
{
    for (const std::string& message : file.messages) {
        if (file.outcome == ParamFileValues::Outcome::Invalid)
            std::printf("%s%s\n", prefix.c_str(), message.c_str());
        else
            std::fprintf(stderr, "%s\n", message.c_str());
    }
    return kUsage;
}

} // namespace

int DiffFiles(const std::string& a, const std::string& b)
{
    const ParamFileValues first = ReadParamFileValues(a);
    const ParamFileValues second = ReadParamFileValues(b);
    int status = kSuccess;
    if (first.outcome != ParamFileValues::Outcome::Valid)
        status = FileFailure(first, a + ": ");
    if (second.outcome != ParamFileValues::Outcome::Valid)
        status = FileFailure(second, b + ": ");
    if (status != kSuccess)
        return status;
    const std::vector<std::string> lines = DiffAssignments(first.values, second.values);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return lines.empty() ? kSuccess : kInvalidFile;
}

int CheckFileToVerify(const std::string& path)
{
    const ParamFileValues file = ReadParamFileValues(path);
    return file.outcome == ParamFileValues::Outcome::Valid ? kSuccess : FileFailure(file, "");
}

int VerifyMeter(TLink1Thread& link, CliFront& front, const std::string& path)
{
    front.fileName = path;
    if (!PostAndWait(link, VerifyVokParams) || !front.errors.empty()) {
        if (front.errors.empty())
            std::fprintf(stderr, "Связь с влагомером закрыта\n");
        return kLinkFailure;
    }
    const VerifyResult& result = front.verify;
    for (const std::string& line : result.differences)
        std::printf("%s\n", line.c_str());
    for (const std::string& message : result.messages)
        std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stdout);
    switch (result.outcome) {
    case VerifyResult::Outcome::Match:
        return kSuccess;
    case VerifyResult::Outcome::Differ:
        return kInvalidFile;
    case VerifyResult::Outcome::InvalidFile:
        return kUsage;
    case VerifyResult::Outcome::LinkFailure:
        break;
    }
    return kLinkFailure;
}
