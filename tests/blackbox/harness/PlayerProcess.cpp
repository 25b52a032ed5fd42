#include "harness/PlayerProcess.h"

#include "harness/Clock.h"
#include "harness/ProgramUnderTest.h"

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace blackbox {

PlayerProcess::PlayerProcess(const std::wstring& exe, const std::vector<std::wstring>& args) {
    std::wstring commandLine = quoteArgument(exe);
    for (const auto& arg : args) {
        commandLine += L' ';
        commandLine += quoteArgument(arg);
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    std::lock_guard creating(processCreationLock());
    HANDLE inputRead = nullptr, outputWrite = nullptr;
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0) ||
        !CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
        return;
    }
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    // Its diagnostics, if any, go nowhere: a daemon-like child holding the
    // test's own standard error would keep CTest waiting.
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = nul;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &info)) {
        process = info.hProcess;
        pid = info.dwProcessId;
        CloseHandle(info.hThread);
    }
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
}

PlayerProcess::~PlayerProcess() {
    if (process != nullptr && !quit(5000)) {
        TerminateProcess(process, 255);
        WaitForSingleObject(process, 5000);
    }
    if (inputWrite) CloseHandle(inputWrite);
    if (outputRead) CloseHandle(outputRead);
    if (process) CloseHandle(process);
}

std::optional<std::string> PlayerProcess::readLine(DWORD boundMs) {
    Ticks deadline = now() + static_cast<Ticks>(boundMs / 1000.0 * ticksPerSecond());
    for (;;) {
        std::size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            std::string result = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!result.empty() && result.back() == '\r') {
                result.pop_back();
            }
            return result;
        }
        DWORD waiting = 0;
        if (outputRead == nullptr || !PeekNamedPipe(outputRead, nullptr, 0, nullptr, &waiting, nullptr)) {
            return std::nullopt;
        }
        if (waiting > 0) {
            char buffer[512];
            DWORD got = 0;
            if (!ReadFile(outputRead, buffer, std::min<DWORD>(waiting, sizeof buffer), &got, nullptr)) {
                return std::nullopt;
            }
            pending.append(buffer, got);
            continue;
        }
        if (now() >= deadline) {
            return std::nullopt;
        }
        Sleep(5);
    }
}

bool PlayerProcess::waitForAnnouncement(DWORD boundMs) {
    auto first = readLine(boundMs);
    if (!first) {
        return false;
    }
    line = *first;
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        auto eq = word.find('=');
        if (eq != std::string::npos) {
            fields[word.substr(0, eq)] = word.substr(eq + 1);
        }
    }
    return true;
}

std::optional<std::string> PlayerProcess::field(const std::string& key) const {
    auto it = fields.find(key);
    if (it == fields.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<unsigned long long> PlayerProcess::number(const std::string& key) const {
    auto text = field(key);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    unsigned long long value = std::strtoull(text->c_str(), &end, 0);
    if (*end != '\0') {
        return std::nullopt;
    }
    return value;
}

std::vector<unsigned long long> PlayerProcess::numbers(const std::string& key) const {
    std::vector<unsigned long long> values;
    auto text = field(key);
    if (!text) {
        return values;
    }
    std::istringstream items(*text);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (!item.empty()) {
            values.push_back(std::strtoull(item.c_str(), nullptr, 0));
        }
    }
    return values;
}

bool PlayerProcess::send(const std::string& command) {
    if (inputWrite == nullptr) {
        return false;
    }
    std::string text = command + "\n";
    DWORD written = 0;
    return WriteFile(inputWrite, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool PlayerProcess::quit(DWORD boundMs) {
    if (process == nullptr) {
        return true;
    }
    send("quit");
    if (inputWrite) {
        CloseHandle(inputWrite);
        inputWrite = nullptr;
    }
    return WaitForSingleObject(process, boundMs) == WAIT_OBJECT_0;
}

}  // namespace blackbox
