#include "windows/StandardInputWatch.h"

#include <windows.h>

#include <thread>

namespace {

void watchStandardInput() {
    // Not checked: an invalid handle fails the first read, which ends the
    // process just as the end of the input does.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char discarded[256];
    DWORD got = 0;
    while (ReadFile(input, discarded, sizeof discarded, &got, nullptr) && got > 0) {
        got = 0;
    }
    // No teardown: the parent has gone or wants the program gone now.
    // TerminateProcess, not ExitProcess: ExitProcess ends the other threads
    // and then runs the libraries' detach code, which may wait for a lock
    // that an ended thread held; the mixer's write to standard output holds
    // one while it is blocked because the parent has stopped reading. Under
    // Wine such a process never ends; Windows ends it only by luck.
    TerminateProcess(GetCurrentProcess(), 0);
}

}  // namespace

void startStandardInputWatch() {
    std::thread(watchStandardInput).detach();
}
