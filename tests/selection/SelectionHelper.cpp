// A small process for the selection tests to build real process trees with.
//
//   SelectionHelper.exe wait     waits until its standard input ends
//   SelectionHelper.exe window   creates a window, writes its handle in
//                                decimal and a newline to standard output,
//                                then waits until its standard input ends
//   SelectionHelper.exe spawn    starts "SelectionHelper.exe window" with its
//                                own standard streams and waits for it
//
// Every wait is for the test's standard input pipe to close, so the test
// decides when the tree goes away.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void waitForEndOfInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
}

void writeLine(const std::string& line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
}

int makeWindow() {
    HWND window = CreateWindowExW(0, L"STATIC", L"selection helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    writeLine(std::to_string(reinterpret_cast<std::uintptr_t>(window)) + "\n");
    waitForEndOfInput();
    if (window) {
        DestroyWindow(window);
    }
    return window ? 0 : 1;
}

int spawnWindowChild() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" window";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &child)) {
        writeLine("0\n");
        return 1;
    }
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hProcess);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"window") {
        return makeWindow();
    }
    if (mode == L"spawn") {
        return spawnWindowChild();
    }
    waitForEndOfInput();
    return 0;
}
