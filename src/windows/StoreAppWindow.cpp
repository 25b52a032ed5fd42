#include "windows/StoreAppWindow.h"

#include "selection/ProcessTable.h"

#include <iterator>

namespace {

constexpr wchar_t coreWindowClass[] = L"Windows.UI.Core.CoreWindow";

// A frame holds a handful of windows (title bar, input sink, the app's); the
// look-up stops after this many whatever the window names.
constexpr int maxWindowsVisited = 1024;

struct CoreWindowSearch {
    DWORD frameHost;
    int visited = 0;
    DWORD app = 0;  // the owner found
};

BOOL CALLBACK visitWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<CoreWindowSearch*>(context);
    // One unit longer than the class sought: a longer name, cut to fit, still
    // differs from it.
    wchar_t className[std::size(coreWindowClass) + 1];
    DWORD owner = 0;
    if (GetClassNameW(window, className, static_cast<int>(std::size(className))) > 0 &&
        CompareStringOrdinal(className, -1, coreWindowClass, -1, TRUE) == CSTR_EQUAL &&
        GetWindowThreadProcessId(window, &owner) != 0 && owner != 0 && owner != search.frameHost) {
        search.app = owner;
        return FALSE;
    }
    return ++search.visited < maxWindowsVisited;
}

}  // namespace

bool runsFrameHost(DWORD processId) {
    // The table's names are lower-cased, so the comparison ignores case.
    ProcessTable processes;
    processes.refresh();
    auto entry = processes.names.find(processId);
    return entry != processes.names.end() && entry->second == u"applicationframehost.exe";
}

DWORD storeAppInside(HWND frame, DWORD frameHost) {
    CoreWindowSearch search{frameHost};
    // Its result says nothing useful: FALSE both when stopped at a find and
    // when there are no children.
    EnumChildWindows(frame, visitWindow, reinterpret_cast<LPARAM>(&search));
    return search.app;
}

DWORD currentStoreApp(StoreAppFrame& frame) {
    const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(frame.window));
    if (const DWORD inside = storeAppInside(window, frame.frameHost); inside != 0) {
        frame.app = inside;
    }
    return frame.app != 0 ? frame.app : frame.frameHost;
}
