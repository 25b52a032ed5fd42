// Test helper: owns one window for as long as its standard input stays open,
// and reports that window's handle, in decimal, as one line on standard
// output.

#include <windows.h>

#include <cstdint>
#include <cstdio>

int main() {
    HWND window = CreateWindowExW(0, L"STATIC", L"vintra window owner", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return 3;
    }
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%llu\n",
                                     static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);

    char discarded[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), discarded, sizeof discarded, &got, nullptr) && got > 0) {
    }
    DestroyWindow(window);
    return 0;
}
