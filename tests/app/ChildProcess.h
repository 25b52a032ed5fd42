#pragma once
// A child process started the way a parent starts the program: command line
// in, its three standard streams on pipes that this side holds. Windows
// tests only; one test thread uses an instance.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// The Windows spelling of a path the build gave in its own form: under Wine,
// drive Z: is the Unix root.
std::wstring windowsPath(const char* buildPath);

class ChildProcess {
public:
    // Starts `commandLine` (program path first, quoted as needed). Empty when
    // the process could not be started.
    static std::optional<ChildProcess> start(const std::wstring& commandLine);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    // Ends the child if it is still running, so a failed test leaves nothing.
    ~ChildProcess();

    DWORD processId() const { return id; }

    // Closing our ends: the child's input then ends, its output breaks.
    void closeInput();
    void closeOutput();

    // Reads exactly `count` bytes of standard output; fewer when it ends.
    std::string readOutput(std::size_t count);
    // Reads one line of standard output, without its "\n".
    std::string readOutputLine();
    // Everything up to the end of standard error; call once the child has
    // ended or will end on its own.
    std::string readAllError();

    // Reads standard output until the child ends, for at most `ms`; a child
    // still running then is ended. The exit code is empty in that case.
    std::optional<DWORD> drainOutputUntilExit(DWORD ms, std::string& drained);

    // The exit code, or empty when the child is still running after `ms`.
    std::optional<DWORD> waitForExit(DWORD ms);

private:
    ChildProcess() = default;
    static void closeHandle(HANDLE& h);

    HANDLE process = nullptr;
    DWORD id = 0;
    HANDLE input = nullptr;   // write end of the child's standard input
    HANDLE output = nullptr;  // read end of its standard output
    HANDLE error = nullptr;   // read end of its standard error
};
