// bench-minimal.exe: the yardstick the program's costs are measured against.
// It is started exactly as the program is (three pipes, the same parent) and
// does only what any program in its place must do under Wine:
//
//   (no option)     writes "ready\n" to standard error and waits for the end
//                   of standard input: the start-up time and working set of a
//                   process that does nothing;
//   --stream        the same, plus a thread that watches standard input and a
//                   main thread that writes a 3840-byte block of zeros every
//                   10 ms of the performance counter (millisecond sleeps,
//                   absolute due times, fwrite and fflush): the floor of CPU
//                   time that Wine's waits and pipe writes cost a paced writer;
//   --threads <n>   the same as no option, plus n threads that each wait on
//                   an event of their own with a 100 ms bound, as capture
//                   workers do: what a thread costs Wine in working set;
//   --libraries     the same as no option, but first loads what the program
//                   loads (user32, ole32 with COM's multithreaded apartment,
//                   and mmdevapi, which is the fake under the test prefix's
//                   override): what those DLLs cost Wine in working set.
//
// Without --libraries it uses no COM and loads no audio DLL.

#include <windows.h>

#include <objbase.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>
#include <vector>

namespace {

void say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void waitForEndOfInput() {
    char discarded[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), discarded, sizeof discarded, &got, nullptr) && got > 0) {
    }
}

[[noreturn]] void writeBlocks() {
    _setmode(_fileno(stdout), _O_BINARY);
    static float block[960] = {};
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (long long k = 0;; ++k) {
        const long long due = start.QuadPart + k * frequency.QuadPart / 100;
        for (QueryPerformanceCounter(&now); now.QuadPart < due; QueryPerformanceCounter(&now)) {
            const long long ms = (due - now.QuadPart) * 1000 / frequency.QuadPart;
            Sleep(ms >= 2 ? static_cast<DWORD>(ms) : 1);
        }
        if (std::fwrite(block, sizeof(float), 960, stdout) < 960 || std::fflush(stdout) != 0) ExitProcess(0);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool stream = argc >= 2 && std::wcscmp(argv[1], L"--stream") == 0;
    const int idleThreads = argc >= 3 && std::wcscmp(argv[1], L"--threads") == 0 ? _wtoi(argv[2]) : 0;
    if (argc >= 2 && std::wcscmp(argv[1], L"--libraries") == 0) {
        LoadLibraryW(L"user32.dll");
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        LoadLibraryW(L"mmdevapi.dll");
    }

    std::vector<HANDLE> events;
    for (int i = 0; i < idleThreads; ++i) {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        events.push_back(event);
        std::thread([event] {
            for (;;) WaitForSingleObject(event, 100);
        }).detach();
    }
    say("ready\n");
    if (stream) {
        std::thread([] {
            waitForEndOfInput();
            ExitProcess(0);
        }).detach();
        writeBlocks();
    }
    waitForEndOfInput();
    ExitProcess(0);
}
