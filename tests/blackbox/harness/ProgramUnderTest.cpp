#include "harness/ProgramUnderTest.h"

#include <atomic>
#include <cstring>
#include <map>

namespace blackbox {
namespace {

void closeHandle(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    handle = nullptr;
}

// A unique pipe name per call in this test parent.
std::wstring newPipeName() {
    static std::atomic<unsigned> counter{0};
    return L"\\\\.\\pipe\\vintra-blackbox-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter.fetch_add(1)) + L"-" + std::to_wstring(GetTickCount64());
}

// Standard output: a named pipe, so that our read end can be overlapped and
// closed at any moment (an anonymous pipe's synchronous read cannot be
// abandoned). The child's end is an ordinary synchronous, inheritable handle,
// as with CreatePipe.
bool makeOutputPipe(HANDLE& parentRead, HANDLE& childWrite) {
    std::wstring name = newPipeName();
    parentRead = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr);
    if (parentRead == INVALID_HANDLE_VALUE) {
        parentRead = nullptr;
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    childWrite = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    if (childWrite == INVALID_HANDLE_VALUE) {
        childWrite = nullptr;
        return false;
    }
    return true;
}

bool makeAnonymousPipe(HANDLE& read, HANDLE& write, bool parentReads) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        return false;
    }
    return SetHandleInformation(parentReads ? read : write, HANDLE_FLAG_INHERIT, 0) != 0;
}

// The parent's environment with the given changes, as a sorted Unicode block.
std::vector<wchar_t> environmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
    auto upper = [](std::wstring s) {
        for (auto& c : s) c = static_cast<wchar_t>(towupper(c));
        return s;
    };
    std::map<std::wstring, std::wstring> byKey;  // key upper-cased -> "Name=value"
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += std::wcslen(p) + 1) {
        std::wstring entry(p);
        std::size_t eq = entry.find(L'=', 1);  // "=C:=C:\..." entries start with '='
        if (eq == std::wstring::npos) continue;
        byKey[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : changes) {
        if (value.empty()) {
            byKey.erase(upper(name));
        } else {
            byKey[upper(name)] = name + L"=" + value;
        }
    }
    std::vector<wchar_t> block;
    for (const auto& [key, entry] : byKey) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

}  // namespace

std::mutex& processCreationLock() {
    static std::mutex lock;
    return lock;
}

ProgramUnderTest::ProgramUnderTest(const ProgramOptions& options) {
    stopReading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::wstring commandLine = quoteArgument(options.exe);
    for (const auto& arg : options.args) {
        commandLine += L' ';
        commandLine += quoteArgument(arg);
    }
    std::vector<wchar_t> environment;
    if (!options.environment.empty()) {
        environment = environmentBlock(options.environment);
    }

    std::lock_guard creating(processCreationLock());
    HANDLE inputRead = nullptr, outputWrite = nullptr, errorWrite = nullptr;
    bool pipes = makeAnonymousPipe(inputRead, inputWrite, false) && makeOutputPipe(outputRead, outputWrite) &&
                 makeAnonymousPipe(errorRead, errorWrite, true);
    if (pipes) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputRead;
        startup.hStdOutput = outputWrite;
        startup.hStdError = errorWrite;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(options.exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                           environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                           environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info)) {
            process = info.hProcess;
            pid = info.dwProcessId;
            CloseHandle(info.hThread);
        } else {
            createError = GetLastError();
        }
    } else {
        createError = GetLastError();
    }
    // The child holds its own ends now; ours would keep the pipes open.
    closeHandle(inputRead);
    closeHandle(outputWrite);
    closeHandle(errorWrite);
}

ProgramUnderTest::~ProgramUnderTest() {
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 255);
        WaitForSingleObject(process, 10000);
    }
    SetEvent(stopReading);
    if (reader.joinable()) {
        reader.join();
    }
    startErrorDrain();
    if (errorDrain.joinable()) {
        errorDrain.join();
    }
    closeHandle(inputWrite);
    closeHandle(outputRead);
    closeHandle(errorRead);
    closeHandle(process);
    closeHandle(stopReading);
}

bool ProgramUnderTest::waitForReady(DWORD boundMs) {
    if (process == nullptr) {
        return false;
    }
    Ticks deadline = now() + static_cast<Ticks>(boundMs / 1000.0 * ticksPerSecond());
    bool ready = false;
    bool errorEnded = false;
    while (!ready && !errorEnded && now() < deadline) {
        // Standard output first: bytes seen there now were written after
        // everything the child had written to standard error before them.
        DWORD audioWaiting = 0;
        PeekNamedPipe(outputRead, nullptr, 0, nullptr, &audioWaiting, nullptr);
        DWORD errorWaiting = 0;
        if (!PeekNamedPipe(errorRead, nullptr, 0, nullptr, &errorWaiting, nullptr)) {
            errorEnded = true;  // broken: the child has gone and its text is all read
        }
        while (errorWaiting > 0) {
            char buffer[256];
            DWORD got = 0;
            if (!ReadFile(errorRead, buffer, std::min<DWORD>(errorWaiting, sizeof buffer), &got, nullptr) || got == 0) {
                errorEnded = true;
                break;
            }
            errorWaiting -= got;
            std::lock_guard lock(mutex);
            errorText.append(buffer, got);
        }
        {
            std::lock_guard lock(mutex);
            ready = errorText.find("ready\n") != std::string::npos;
        }
        if (audioWaiting > 0 && !ready) {
            sawAudioBeforeReady = true;
        }
        if (ready) {
            readyAt = now();
        } else if (!errorEnded) {
            Sleep(1);
        }
    }
    startErrorDrain();
    return ready;
}

void ProgramUnderTest::startErrorDrain() {
    if (!errorDrainStarted && errorRead != nullptr) {
        errorDrainStarted = true;
        errorDrain = std::thread([this] { drainError(); });
    }
}

void ProgramUnderTest::drainError() {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(errorRead, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        std::lock_guard lock(mutex);
        errorText.append(buffer, got);
        changed.notify_all();
    }
}

void ProgramUnderTest::startReading() {
    if (!reader.joinable() && outputRead != nullptr) {
        reader = std::thread([this] { readOutput(); });
    }
}

void ProgramUnderTest::appendBytes(const char* data, std::size_t size, Ticks at) {
    std::lock_guard lock(mutex);
    totalBytes += size;
    while (size > 0) {
        std::size_t take = std::min(size, bytesPerBlock - partial.size());
        partial.insert(partial.end(), data, data + take);
        data += take;
        size -= take;
        if (partial.size() == bytesPerBlock) {
            std::size_t at0 = log.size();
            log.resize(at0 + samplesPerBlock);
            std::memcpy(&log[at0], partial.data(), bytesPerBlock);
            blockArrivals.push_back(at);
            partial.clear();
        }
    }
    changed.notify_all();
}

void ProgramUnderTest::readOutput() {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<char> buffer(65536);
    for (;;) {
        ResetEvent(overlapped.hEvent);
        DWORD got = 0;
        bool done = ReadFile(outputRead, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &overlapped);
        if (!done && GetLastError() != ERROR_IO_PENDING) {
            break;  // the child's end is gone
        }
        HANDLE waits[2] = {overlapped.hEvent, stopReading};
        DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            CancelIoEx(outputRead, &overlapped);
            GetOverlappedResult(outputRead, &overlapped, &got, TRUE);
            std::lock_guard lock(mutex);
            CloseHandle(outputRead);
            outputRead = nullptr;
            outputClosed = true;
            outputClosedAt = now();
            break;
        }
        if (!GetOverlappedResult(outputRead, &overlapped, &got, FALSE)) {
            break;
        }
        appendBytes(buffer.data(), got, now());
    }
    CloseHandle(overlapped.hEvent);
    std::lock_guard lock(mutex);
    ended = true;
    changed.notify_all();
}

std::size_t ProgramUnderTest::blockCount() const {
    std::lock_guard lock(mutex);
    return blockArrivals.size();
}

bool ProgramUnderTest::waitForBlocks(std::size_t count, DWORD boundMs) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(boundMs),
                            [&] { return blockArrivals.size() >= count || ended; }) &&
           blockArrivals.size() >= count;
}

std::vector<float> ProgramUnderTest::samples(std::size_t first, std::size_t end) const {
    std::lock_guard lock(mutex);
    end = std::min(end, blockArrivals.size());
    if (first >= end) {
        return {};
    }
    return std::vector<float>(log.begin() + static_cast<std::ptrdiff_t>(first * samplesPerBlock),
                              log.begin() + static_cast<std::ptrdiff_t>(end * samplesPerBlock));
}

std::vector<Ticks> ProgramUnderTest::arrivals() const {
    std::lock_guard lock(mutex);
    return blockArrivals;
}

std::uint64_t ProgramUnderTest::bytesRead() const {
    std::lock_guard lock(mutex);
    return totalBytes;
}

std::string ProgramUnderTest::outputBytes() const {
    std::lock_guard lock(mutex);
    std::string bytes(reinterpret_cast<const char*>(log.data()), log.size() * sizeof(float));
    bytes.append(partial.begin(), partial.end());
    return bytes;
}

bool ProgramUnderTest::outputEnded() const {
    std::lock_guard lock(mutex);
    return ended;
}

Ticks ProgramUnderTest::closeInput() {
    Ticks at = now();
    closeHandle(inputWrite);
    return at;
}

Ticks ProgramUnderTest::closeOutput() {
    if (!reader.joinable()) {
        std::lock_guard lock(mutex);
        Ticks at = now();
        closeHandle(outputRead);
        outputClosed = true;
        return at;
    }
    SetEvent(stopReading);
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return ended; });
    return outputClosed ? outputClosedAt : now();
}

std::optional<DWORD> ProgramUnderTest::waitForExit(DWORD boundMs) {
    if (process == nullptr || WaitForSingleObject(process, boundMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    if (exitedAt == 0) {
        exitedAt = now();
    }
    // Its standard error ends with it: all its text is in once the drain ends.
    startErrorDrain();
    if (errorDrain.joinable()) {
        errorDrain.join();
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

std::string ProgramUnderTest::standardError() const {
    std::lock_guard lock(mutex);
    return errorText;
}

}  // namespace blackbox
