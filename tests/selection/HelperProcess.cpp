#include "HelperProcess.h"

#include <windows.h>

#include <string>

namespace {

std::wstring helperPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"SelectionHelper.exe";
}

}  // namespace

HelperProcess::HelperProcess(const wchar_t* mode)
    : child(ChildProcess::start(L"\"" + helperPath() + L"\" " + mode)) {}

HelperProcess::~HelperProcess() {
    if (child) {
        // The helpers end their own trees when their input ends; a helper that
        // does not end within the bound is ended with its ChildProcess.
        child->closeInput();
        child->waitForExit(30000);
    }
}
