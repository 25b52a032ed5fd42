// player.exe: a stand-in for an application that plays sound.
//
// It announces an audio session in the fake platform's control record (the
// namespace comes from VINTRA_FAKE_NAMESPACE), optionally shows a window and
// starts child players, reports itself in one line on standard output (see
// PlayerProcess.h), then obeys commands on standard input, one per line:
//     state active|inactive|expired    play 0|1       system 0|1
//     freq <Hz>   level <0..32767>   endpoints <mask>   channels <mask>
//     child <k> <command>   (forwarded to the k-th direct child, 0-based)
//     quit
// Each is answered with "ok" or "error". At "quit" or the end of standard
// input it frees its slot, ends its children and exits with code 0.
//
// Options:
//     --state active|inactive|expired  (active)   --system
//     --endpoints <mask: 1 first, 2 second, 3 both, 0 no session>  (1)
//     --freq <Hz> (440)   --level <peak> (8192)   --channels <mask> (3)
//     --silent (not playing)   --window   --child "<options of a child>"
//
// Nothing depends on the program's own file name: tests run copies of it
// under other names.

#include "FakeControl.h"
#include "PlayerProcess.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Options {
    fake::SessionSettings session;
    bool window = false;
    std::vector<std::wstring> children;
};

bool parseState(const std::wstring& text, LONG& state) {
    if (text == L"active") state = fake::sessionActive;
    else if (text == L"inactive") state = fake::sessionInactive;
    else if (text == L"expired") state = fake::sessionExpired;
    else return false;
    return true;
}

bool parseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--system") options.session.systemSounds = true;
        else if (arg == L"--silent") options.session.playing = false;
        else if (arg == L"--window") options.window = true;
        else if (arg == L"--state" && hasValue) {
            if (!parseState(argv[++i], options.session.state)) return false;
        } else if (arg == L"--endpoints" && hasValue) options.session.endpointMask = std::wcstol(argv[++i], nullptr, 10);
        else if (arg == L"--freq" && hasValue) options.session.frequencyHz = std::wcstol(argv[++i], nullptr, 10);
        else if (arg == L"--level" && hasValue) options.session.level = std::wcstol(argv[++i], nullptr, 10);
        else if (arg == L"--channels" && hasValue) options.session.channelMask = std::wcstol(argv[++i], nullptr, 10);
        else if (arg == L"--child" && hasValue) options.children.push_back(argv[++i]);
        else return false;
    }
    return true;
}

DWORD parentProcessId() {
    DWORD self = GetCurrentProcessId(), parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

void writeLine(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool readLine(std::string& line) {
    static std::string pending;
    for (;;) {
        const std::size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line = pending.substr(0, newline);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending.erase(0, newline + 1);
            return true;
        }
        char buffer[256];
        DWORD got = 0;
        if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) || got == 0) return false;
        pending.append(buffer, got);
    }
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, message, w, l);
}

HWND createWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VintraPlayerWindow";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"VintraPlayerWindow", L"vintra player", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320,
                           200, nullptr, nullptr, windowClass.hInstance, nullptr);
}

struct Player {
    fake::ControlView view;
    int slot = -1;
    std::vector<std::unique_ptr<player::PlayerProcess>> children;

    // Applies one command; false for anything it does not understand.
    bool apply(const std::string& command) {
        const std::size_t space = command.find(' ');
        const std::string verb = command.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : command.substr(space + 1);
        if (verb == "child") {
            const std::size_t split = rest.find(' ');
            const unsigned long index = std::strtoul(rest.c_str(), nullptr, 10);
            if (split == std::string::npos || index >= children.size()) return false;
            return children[index]->command(rest.substr(split + 1));
        }
        if (slot < 0 || rest.empty()) return false;
        fake::PlayerSlot& s = view->slots[slot];
        const LONG value = std::strtol(rest.c_str(), nullptr, 10);
        if (verb == "state") {
            LONG state;
            if (!parseState(std::wstring(rest.begin(), rest.end()), state)) return false;
            InterlockedExchange(&s.sessionState, state);
        } else if (verb == "play") InterlockedExchange(&s.playing, value ? 1 : 0);
        else if (verb == "system") InterlockedExchange(&s.systemSounds, value ? 1 : 0);
        else if (verb == "freq") InterlockedExchange(&s.frequencyHz, value);
        else if (verb == "level") InterlockedExchange(&s.level, value);
        else if (verb == "endpoints") InterlockedExchange(&s.endpointMask, value);
        else if (verb == "channels") InterlockedExchange(&s.channelMask, value);
        else return false;
        fake::bumpGeneration(*view.get());
        return true;
    }
};

Player* running = nullptr;
HANDLE quit = nullptr;

DWORD WINAPI commandLoop(void*) {
    std::string line;
    while (readLine(line)) {
        if (line == "quit") {
            writeLine("ok");
            break;
        }
        if (line.empty()) continue;
        writeLine(running->apply(line) ? "ok" : "error");
    }
    SetEvent(quit);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 64;
    // Our own standard handles must not leak into the children: a test
    // parent waiting for the end of our output would wait for them too.
    SetHandleInformation(GetStdHandle(STD_INPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(GetStdHandle(STD_ERROR_HANDLE), HANDLE_FLAG_INHERIT, 0);

    auto* self = new Player();  // lives until exit; the command thread uses it
    running = self;
    if (!self->view.open(fake::inheritedNamespace())) return 65;
    options.session.processId = GetCurrentProcessId();
    options.session.parentProcessId = parentProcessId();
    self->slot = fake::claimSlot(*self->view.get(), options.session);
    if (self->slot < 0) return 66;

    player::PlayerReport report;
    report.processId = GetCurrentProcessId();
    HWND window = options.window ? createWindow() : nullptr;
    if (options.window && !window) return 67;
    report.window = reinterpret_cast<std::uintptr_t>(window);

    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    for (const std::wstring& childOptions : options.children) {
        auto child = std::make_unique<player::PlayerProcess>();
        if (!child->start(exe, childOptions)) return 68;
        report.descendants.push_back(child->processId());
        for (DWORD pid : child->report().descendants) report.descendants.push_back(pid);
        self->children.push_back(std::move(child));
    }

    quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeLine(player::formatReport(report));
    HANDLE reader = CreateThread(nullptr, 0, commandLoop, nullptr, 0, nullptr);
    if (!reader) return 69;

    // The thread that made the window keeps its messages flowing.
    for (;;) {
        const DWORD woke = MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (window) DestroyWindow(window);
    fake::releaseSlot(*self->view.get(), self->slot);
    for (auto& child : self->children) child->stop(5000);
    ExitProcess(0);  // the command thread may still be blocked reading
}
