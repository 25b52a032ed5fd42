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
    ExitProcess(0);
}

}  // namespace

void startStandardInputWatch() {
    std::thread(watchStandardInput).detach();
}
