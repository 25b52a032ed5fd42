#include "ChildProcess.h"

#include <thread>
#include <utility>

std::wstring windowsPath(const char* buildPath) {
    std::wstring path;
    if (buildPath[0] == '/') {
        path = L"Z:";
    }
    for (const char* p = buildPath; *p != '\0'; ++p) {
        path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
    return path;
}

namespace {

// A pipe whose `childEnd` is inheritable and whose other end is not, so that
// a child never holds our end open.
bool makePipe(HANDLE& read, HANDLE& write, bool childReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        return false;
    }
    SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

std::string readUntilEnd(HANDLE from) {
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        all.append(buffer, got);
    }
    return all;
}

}  // namespace

std::optional<ChildProcess> ChildProcess::start(const std::wstring& commandLine) {
    ChildProcess child;
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    HANDLE childError = nullptr;
    if (!makePipe(childInput, child.input, true) || !makePipe(child.output, childOutput, false) ||
        !makePipe(child.error, childError, false)) {
        closeHandle(childInput);
        closeHandle(childOutput);
        closeHandle(childError);
        return std::nullopt;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = childError;
    PROCESS_INFORMATION info{};
    std::wstring mutableLine = commandLine;
    const BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
    // The child has its own copies now; ours would keep its streams open.
    closeHandle(childInput);
    closeHandle(childOutput);
    closeHandle(childError);
    if (!started) {
        return std::nullopt;
    }
    CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.id = info.dwProcessId;
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : process(std::exchange(other.process, nullptr)),
      id(other.id),
      input(std::exchange(other.input, nullptr)),
      output(std::exchange(other.output, nullptr)),
      error(std::exchange(other.error, nullptr)) {}

ChildProcess::~ChildProcess() {
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 255);
        WaitForSingleObject(process, 10'000);
    }
    closeHandle(input);
    closeHandle(output);
    closeHandle(error);
    closeHandle(process);
}

void ChildProcess::closeHandle(HANDLE& h) {
    if (h != nullptr) {
        CloseHandle(h);
        h = nullptr;
    }
}

void ChildProcess::closeInput() { closeHandle(input); }
void ChildProcess::closeOutput() { closeHandle(output); }

std::string ChildProcess::readOutput(std::size_t count) {
    std::string bytes;
    char buffer[4096];
    while (bytes.size() < count) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, count - bytes.size()));
        if (!ReadFile(output, buffer, want, &got, nullptr) || got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}

std::string ChildProcess::readOutputLine() {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
}

std::string ChildProcess::readAllError() { return readUntilEnd(error); }

std::optional<DWORD> ChildProcess::waitForExit(DWORD ms) {
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

std::optional<DWORD> ChildProcess::drainOutputUntilExit(DWORD ms, std::string& drained) {
    // Reading on a thread of its own: a child that never ends would block a
    // read on this one for ever.
    std::thread reader([this, &drained] { drained = readUntilEnd(output); });
    std::optional<DWORD> code = waitForExit(ms);
    if (!code) {
        TerminateProcess(process, 255);
        WaitForSingleObject(process, 10'000);
    }
    reader.join();
    return code;
}
