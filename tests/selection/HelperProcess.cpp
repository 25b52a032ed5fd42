#include "HelperProcess.h"

#include <string>

namespace {

std::wstring helperPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"SelectionHelper.exe";
}

}  // namespace

HelperProcess::HelperProcess(const wchar_t* mode) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&inputRead, &inputWrite, &inherit, 0)) {
        return;
    }
    if (!CreatePipe(&outputRead, &outputWrite, &inherit, 0)) {
        CloseHandle(inputRead);
        return;
    }
    // The test's own ends stay out of the tree, or the helpers would never
    // see their input end.
    SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring path = helperPath();
    std::wstring commandLine = L"\"" + path + L"\" " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    PROCESS_INFORMATION child{};
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &child)) {
        CloseHandle(child.hThread);
        process = child.hProcess;
        id = child.dwProcessId;
    }
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
}

HelperProcess::~HelperProcess() {
    if (inputWrite) {
        CloseHandle(inputWrite);
    }
    if (process) {
        // Bounded: a helper that does not end is left to Wine's session end.
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
    }
    if (outputRead) {
        CloseHandle(outputRead);
    }
}

std::string HelperProcess::readLine() {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(outputRead, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        line.push_back(c);
    }
    return line;
}
