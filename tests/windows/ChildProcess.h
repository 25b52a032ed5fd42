#pragma once
// A child process started the way the program's parents start it:
// CreateProcessW with its three standard streams on pipes whose other ends
// this side holds. Reads never block past their bound, since the other end
// may go quiet for good. Nothing outlives the test: the children here (the
// exe, players) end when their input does, which closing it, or the end of
// the test process, brings about; one that does not is ended. (A job object
// would do this too, but under Wine 8 a process in a job is at times never
// seen to end.)
//
// Threads: one thread uses an instance at a time.

#include <windows.h>

#include <cstddef>
#include <string>

// The Windows spelling of a path the build gave in its own form: under
// Wine, drive Z: is the Unix root.
std::wstring windowsPath(const char* buildPath);

class ChildProcess {
public:
    explicit ChildProcess(const std::wstring& commandLine);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Closes its input, gives it a moment to end, then ends it.
    ~ChildProcess();

    DWORD pid() const { return processId; }
    HANDLE output() const { return outputRead; }

    // Standard error as read so far: everything that is waiting is read first.
    const std::string& error();
    // Whether "ready\n" arrived within the bound; false at once when the
    // child ends without it.
    bool waitReady(DWORD boundMs);
    // Exactly `bytes` of standard output; false at the bound or at its end.
    bool read(void* into, std::size_t bytes, DWORD boundMs);
    // One line of standard output without its "\n"; empty at the bound.
    std::string readLine(DWORD boundMs);

    // Closing our ends: the child's input ends, its output breaks.
    void closeInput();
    void closeOutput();
    // Its exit code, or -1 when it still runs at the bound. What it writes on
    // standard output meanwhile is read and dropped.
    long waitExit(DWORD boundMs);
    // The same without reading: a writer blocked on a full pipe stays blocked.
    long waitExitUnread(DWORD boundMs);

private:
    // The exit code of a process that has ended.
    long exitCode() const;

    HANDLE process = nullptr;
    DWORD processId = 0;
    HANDLE inputWrite = nullptr, outputRead = nullptr, errorRead = nullptr;
    std::string errorText;
};
