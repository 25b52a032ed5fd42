// probe_target.exe <threads> <events> <megabytes> [busy]: a child whose
// resources the process-probe test knows. It starts the threads (each waits
// on nothing for ever, one of them at time-critical priority), creates the
// events, commits and touches the memory, optionally keeps one more thread
// busy, writes "ready\n" to standard error and ends at the end of standard
// input.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

DWORD WINAPI sleepForever(void*) {
    Sleep(INFINITE);
    return 0;
}

DWORD WINAPI spin(void*) {
    volatile unsigned long long n = 0;
    for (;;) n = n + 1;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int threads = argc >= 2 ? _wtoi(argv[1]) : 0;
    const int events = argc >= 3 ? _wtoi(argv[2]) : 0;
    const std::size_t megabytes = argc >= 4 ? static_cast<std::size_t>(_wtoi(argv[3])) : 0;
    const bool busy = argc >= 5 && std::wcscmp(argv[4], L"busy") == 0;

    for (int i = 0; i < threads; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, sleepForever, nullptr, 0, nullptr);
        if (i == 0) SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
        CloseHandle(thread);
    }
    for (int i = 0; i < events; ++i) CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (megabytes > 0) {
        auto* memory = static_cast<char*>(VirtualAlloc(nullptr, megabytes << 20, MEM_COMMIT, PAGE_READWRITE));
        for (std::size_t i = 0; memory && i < (megabytes << 20); i += 4096) memory[i] = 1;
    }
    if (busy) CloseHandle(CreateThread(nullptr, 0, spin, nullptr, 0, nullptr));

    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "ready\n", 6, &written, nullptr);
    char discarded[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), discarded, sizeof discarded, &got, nullptr) && got > 0) {
    }
    ExitProcess(0);
}
