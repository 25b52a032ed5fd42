// player.exe: a stand-in for an application that plays sound.
//
//   player <Hz> <peak 0..32767> [window] [inside <hwnd> | outside] [second] [name <text>] [icon <text>]
//          [clock <ppm>] [-- <arguments of a child player>]
//
// It publishes an active audio session on the first render endpoint (with
// "second", on the second) in the fake platform's record (the namespace
// comes from VINTRA_FAKE_NAMESPACE), whose tone the fake's loopback clients deliver. With "window" it owns a
// window. With "inside <hwnd>" it owns instead a child window of the class a
// Store app's process has (Windows.UI.Core.CoreWindow) inside window <hwnd>,
// another process's, as a Store app sits in its frame; with "outside" it owns
// such a window top-level, as a minimised Store app does, for whoever
// restores it to move into a frame (SetParent). It writes "<pid> <hwnd>\n" on
// standard output, starts its child (player.exe from its own folder, whatever
// its own file name), and ends at the end of standard input, which the child
// shares with it. So a chain of players is a real process tree, one line each,
// parent first. With "name <text>" and "icon <text>" (before any "--"), its
// session reports that display name and icon path; with "clock <ppm>", the
// device it plays on runs so many ppm fast (slow when negative).

#include "FakeControl.h"

#include <cstdint>
#include <cwchar>
#include <string>

// Inside `frame`, or top-level when it is null.
static HWND makeCoreWindow(HWND frame) {
    WNDCLASSW coreWindow{};
    coreWindow.lpfnWndProc = DefWindowProcW;
    coreWindow.hInstance = GetModuleHandleW(nullptr);
    coreWindow.lpszClassName = L"Windows.UI.Core.CoreWindow";
    RegisterClassW(&coreWindow);
    const DWORD style = frame ? WS_CHILD | WS_VISIBLE : WS_POPUP;
    return CreateWindowExW(0, coreWindow.lpszClassName, L"app", style, 0, 0, 100, 50, frame, nullptr,
                           coreWindow.hInstance, nullptr);
}

int wmain(int argc, wchar_t** argv) {
    fake::Record* record = fake::openRecord();
    if (argc < 3 || !record) return 2;
    const LONG frequency = std::wcstol(argv[1], nullptr, 10), level = std::wcstol(argv[2], nullptr, 10);
    const wchar_t* displayName = L"";
    const wchar_t* iconPath = L"";
    LONG clockPpm = 0;
    bool window = false, outside = false, second = false;
    HWND frame = nullptr;  // "inside": the other process's window
    std::wstring child;  // its command line, once "--" has come
    for (int i = 3; i < argc; ++i) {
        if (!child.empty()) child += std::wstring(L" ") + argv[i];
        else if (std::wcscmp(argv[i], L"name") == 0 && i + 1 < argc) displayName = argv[++i];
        else if (std::wcscmp(argv[i], L"icon") == 0 && i + 1 < argc) iconPath = argv[++i];
        else if (std::wcscmp(argv[i], L"clock") == 0 && i + 1 < argc) clockPpm = std::wcstol(argv[++i], nullptr, 10);
        else if (std::wcscmp(argv[i], L"--") == 0) child = L"player.exe";
        else if (std::wcscmp(argv[i], L"inside") == 0 && i + 1 < argc)
            frame = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(_wcstoui64(argv[++i], nullptr, 10)));
        else if (std::wcscmp(argv[i], L"outside") == 0) outside = true;
        else if (std::wcscmp(argv[i], L"second") == 0) second = true;
        else window = window || std::wcscmp(argv[i], L"window") == 0;
    }
    fake::Slot session{0, fake::active, S_FALSE, S_OK, second ? 2 : 1, frequency, level, 0, 0};
    session.clockPpm = clockPpm;
    lstrcpynW(session.displayName, displayName, fake::textLength);
    lstrcpynW(session.iconPath, iconPath, fake::textLength);
    session.publishedMs = fake::counterMs();
    fake::Slot* slot = fake::claimSlot(*record, GetCurrentProcessId(), session);
    if (!slot) return 3;
    HWND owned = window ? CreateWindowExW(0, L"STATIC", L"player", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                          nullptr, nullptr, nullptr)
                        : nullptr;
    if (frame || outside) owned = makeCoreWindow(frame);
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
