// player.exe: a stand-in for an application that plays sound.
//
//   player <Hz> <peak 0..32767> [window] [-- <arguments of a child player>]
//
// It publishes an active audio session on the first render endpoint in the
// fake platform's record (the namespace comes from VINTRA_FAKE_NAMESPACE),
// whose tone the fake's loopback clients deliver. With "window" it owns a
// window. It writes "<pid> <hwnd>\n" on
// standard output, starts its child (player.exe from its own folder, whatever
// its own file name), and ends at the end of standard input, which the child
// shares with it. So a chain of players is a real process tree, one line each,
// parent first.

#include "FakeControl.h"

#include <cstdint>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    fake::Record* record = fake::openRecord();
    if (argc < 3 || !record) return 2;
    const LONG frequency = std::wcstol(argv[1], nullptr, 10), level = std::wcstol(argv[2], nullptr, 10);
    bool window = false;
    std::wstring child;  // its command line, once "--" has come
    for (int i = 3; i < argc; ++i) {
        if (!child.empty()) child += std::wstring(L" ") + argv[i];
        else if (std::wcscmp(argv[i], L"--") == 0) child = L"player.exe";
        else window = window || std::wcscmp(argv[i], L"window") == 0;
    }
    fake::Slot* slot = fake::claimSlot(*record, GetCurrentProcessId(),
                                       {0, fake::active, S_FALSE, S_OK, 1, frequency, level, 0, 0});
    if (!slot) return 3;
    HWND owned = window ? CreateWindowExW(0, L"STATIC", L"player", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                          nullptr, nullptr, nullptr)
                        : nullptr;
    const std::string line =
        std::to_string(GetCurrentProcessId()) + " " + std::to_string(reinterpret_cast<std::uintptr_t>(owned)) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);

    if (!child.empty()) {
        wchar_t path[MAX_PATH];
        DWORD folder = GetModuleFileNameW(nullptr, path, MAX_PATH);
        while (folder > 0 && path[folder - 1] != L'\\') --folder;
        // Its standard handles are ours, inherited.
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW((std::wstring(path, folder) + L"player.exe").c_str(), child.data(), nullptr, nullptr, TRUE,
                           0, nullptr, nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            CloseHandle(started.hProcess);
        }
    }
    // The window's thread keeps its messages flowing, as an application's
    // does: a window that never answers holds up whoever sends to it.
    CreateThread(nullptr, 0, [](void* slot) -> DWORD {
        char discarded[64];
        DWORD got = 0;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), discarded, sizeof discarded, &got, nullptr) && got > 0) {
        }
        InterlockedExchange(&static_cast<fake::Slot*>(slot)->pid, 0);
        ExitProcess(0);
    }, slot, 0, nullptr);
    for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) DispatchMessageW(&message);
    return 0;
}
