#pragma once
// Starts SelectionHelper.exe (built beside the test programs) as a child of
// the test with piped standard streams, and ends its whole tree on
// destruction by closing its standard input.
//
// Threads: the test thread.

#include <windows.h>

#include <cstdint>
#include <string>

class HelperProcess {
public:
    // `mode` is the helper's argument: L"wait", L"window" or L"spawn".
    explicit HelperProcess(const wchar_t* mode);
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess();

    bool started() const { return process != nullptr; }
    std::uint32_t processId() const { return id; }

    // One line of the helper's standard output, without its newline.
    std::string readLine();

private:
    HANDLE process = nullptr;
    std::uint32_t id = 0;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
};
