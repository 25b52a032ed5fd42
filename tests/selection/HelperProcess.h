#pragma once
// Starts SelectionHelper.exe (built beside the test programs) as a child of
// the test with piped standard streams, and ends its whole tree on
// destruction by closing its standard input.
//
// Threads: the test thread.

#include "ChildProcess.h"

#include <cstdint>
#include <optional>
#include <string>

class HelperProcess {
public:
    // `mode` is the helper's argument: L"wait", L"window" or L"spawn".
    explicit HelperProcess(const wchar_t* mode);
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess();

    bool started() const { return child.has_value(); }
    std::uint32_t processId() const { return child ? child->processId() : 0; }

    // One line of the helper's standard output, without its newline.
    std::string readLine() { return child->readOutputLine(); }

private:
    std::optional<ChildProcess> child;
};
