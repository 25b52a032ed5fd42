// Starting and driving a player process over two pipes.

#include "PlayerProcess.h"

#include <cstdio>
#include <cstdlib>

namespace player {

bool parseReport(const std::string& line, PlayerReport& report) {
    unsigned long pid = 0;
    unsigned long long window = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "pid=%lu hwnd=%llu children=%n", &pid, &window, &used) < 2 || used == 0 || pid == 0)
        return false;
    report = PlayerReport{};
    report.processId = static_cast<DWORD>(pid);
    report.window = static_cast<std::uintptr_t>(window);
    const char* p = line.c_str() + used;
    while (*p >= '0' && *p <= '9') {
        char* end = nullptr;
        report.descendants.push_back(static_cast<DWORD>(std::strtoul(p, &end, 10)));
        p = end;
        if (*p == ',') ++p;
    }
    return true;
}

std::string formatReport(const PlayerReport& report) {
    std::string line = "pid=" + std::to_string(report.processId) + " hwnd=" + std::to_string(report.window) + " children=";
    for (std::size_t i = 0; i < report.descendants.size(); ++i) {
        if (i) line += ',';
        line += std::to_string(report.descendants[i]);
    }
    return line;
}

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            // The backslashes before the quote are already in place once:
            // double them and escape the quote itself.
            quoted.append(backslashes + 1, L'\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring windowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') return path;
    std::wstring converted = L"Z:" + path;
    for (wchar_t& c : converted) {
        if (c == L'/') c = L'\\';
    }
    return converted;
}

bool PlayerProcess::start(const std::wstring& exePath, const std::wstring& arguments, DWORD timeoutMs) {
    stop();
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toPlayer, &inheritable, 0)) return false;
    if (!CreatePipe(&fromPlayer, &childOut, &inheritable, 0)) {
        CloseHandle(childIn);
        CloseHandle(toPlayer);
        toPlayer = nullptr;
        return false;
    }
    SetHandleInformation(toPlayer, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromPlayer, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = nul;
    std::wstring path = windowsPath(exePath);
    std::wstring commandLine = quoteArgument(path) + (arguments.empty() ? L"" : L" " + arguments);
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &info);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!created) {
        CloseHandle(toPlayer);
        CloseHandle(fromPlayer);
        toPlayer = fromPlayer = nullptr;
        return false;
    }
    CloseHandle(info.hThread);
    processHandle = info.hProcess;

    std::string line;
    while (readLine(line, timeoutMs)) {
        if (parseReport(line, lastReport)) return true;
    }
    stop(0);
    return false;
}

bool PlayerProcess::readLine(std::string& line, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const std::size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line = pending.substr(0, newline);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending.erase(0, newline + 1);
            return true;
        }
        DWORD available = 0;
        if (!fromPlayer || !PeekNamedPipe(fromPlayer, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available > 0) {
            char buffer[512];
            DWORD got = 0;
            if (!ReadFile(fromPlayer, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) || got == 0)
                return false;
            pending.append(buffer, got);
            continue;
        }
        if (GetTickCount64() >= deadline) return false;
        Sleep(2);
    }
}

std::string PlayerProcess::ask(const std::string& line, DWORD timeoutMs) {
    if (!toPlayer) return {};
    const std::string text = line + "\n";
    DWORD written = 0;
    if (!WriteFile(toPlayer, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
        return {};
    std::string answer;
    return readLine(answer, timeoutMs) ? answer : std::string();
}

bool PlayerProcess::command(const std::string& line, DWORD timeoutMs) { return ask(line, timeoutMs) == "ok"; }

bool PlayerProcess::stop(DWORD timeoutMs) {
    if (toPlayer) {
        CloseHandle(toPlayer);
        toPlayer = nullptr;
    }
    bool ended = true;
    if (processHandle) {
        ended = WaitForSingleObject(processHandle, timeoutMs) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(processHandle, 1);
            WaitForSingleObject(processHandle, 5000);
        }
        CloseHandle(processHandle);
        processHandle = nullptr;
    }
    if (fromPlayer) {
        CloseHandle(fromPlayer);
        fromPlayer = nullptr;
    }
    pending.clear();
    return ended;
}

}  // namespace player
