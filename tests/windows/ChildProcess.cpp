#include "ChildProcess.h"

#include <algorithm>

namespace {

// A pipe whose child end is inheritable and whose end here is not, so that
// no child ever holds our end open. Returns our end.
HANDLE makePipe(HANDLE& childEnd, bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inheritable, 0);
    childEnd = childReads ? read : write;
    SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
    return childReads ? write : read;
}

// What is waiting in a pipe; -1 once it has ended (or was never there).
long waitingIn(HANDLE pipe) {
    DWORD waiting = 0;
    return pipe && PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) ? static_cast<long>(waiting) : -1;
}

void closeHandle(HANDLE& handle) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

std::wstring windowsPath(const char* buildPath) {
    std::wstring path = buildPath[0] == '/' ? L"Z:" : L"";
    for (const char* c = buildPath; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

ChildProcess::ChildProcess(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    inputWrite = makePipe(startup.hStdInput, true);
    outputRead = makePipe(startup.hStdOutput, false);
    errorRead = makePipe(startup.hStdError, false);
    std::wstring line = commandLine;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        process = started.hProcess;
        processId = started.dwProcessId;
    }
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
}

ChildProcess::~ChildProcess() {
    closeInput();
    if (waitExit(5000) < 0 && process) TerminateProcess(process, 99);
    closeOutput();
    closeHandle(errorRead);
    closeHandle(process);
}

const std::string& ChildProcess::error() {
    char chunk[256];
    DWORD got = 0;
    while (waitingIn(errorRead) > 0 && ReadFile(errorRead, chunk, sizeof chunk, &got, nullptr)) {
        errorText.append(chunk, got);
    }
    return errorText;
}

bool ChildProcess::waitReady(DWORD boundMs) {
    for (const ULONGLONG deadline = GetTickCount64() + boundMs;; Sleep(2)) {
        const bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        if (error().find("ready\n") != std::string::npos) return true;
        if (ended || GetTickCount64() > deadline) return false;
    }
}

bool ChildProcess::read(void* into, std::size_t bytes, DWORD boundMs) {
    auto* at = static_cast<char*>(into);
    for (const ULONGLONG deadline = GetTickCount64() + boundMs; bytes > 0;) {
        const long waiting = waitingIn(outputRead);
        DWORD got = 0;
        if (waiting < 0 || (waiting == 0 && GetTickCount64() > deadline)) return false;
        if (waiting == 0) Sleep(2);
        if (waiting > 0 && ReadFile(outputRead, at, std::min<DWORD>(waiting, bytes), &got, nullptr)) {
            at += got;
            bytes -= got;
        }
    }
    return true;
}

std::string ChildProcess::readLine(DWORD boundMs) {
    std::string line;
    for (char c = 0; read(&c, 1, boundMs) && c != '\n';) line += c;
    return line;
}

void ChildProcess::closeInput() { closeHandle(inputWrite); }

void ChildProcess::closeOutput() { closeHandle(outputRead); }

long ChildProcess::waitExit(DWORD boundMs) {
    // Reading on meanwhile: under Wine 8 a process that ends while a thread
    // of it is blocked writing into a full pipe is at times never seen to end.
    char discarded[4096];
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    while (process && WaitForSingleObject(process, 5) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) return -1;
        read(discarded, std::clamp<long>(waitingIn(outputRead), 0, sizeof discarded), 0);
    }
    return exitCode();
}

long ChildProcess::waitExitUnread(DWORD boundMs) {
    if (process && WaitForSingleObject(process, boundMs) != WAIT_OBJECT_0) return -1;
    return exitCode();
}

long ChildProcess::exitCode() const {
    DWORD code = 0;
    return process && GetExitCodeProcess(process, &code) ? static_cast<long>(code) : -1;
}
