#pragma once
// What a scan works on: non-owning pointers into the state that the main
// flow owns for the whole run. The first scan gets it on the main thread; the
// rescan thread keeps a pointer to the same record until the process ends.

#include "windows/SourceMap.h"
#include "windows/StoreAppWindow.h"
#include "selection/ChosenProcesses.h"
#include "selection/ProcessTable.h"

#include <cstdint>
#include <mutex>

class AudioNotifications;
class RescanWake;

struct ScanContext {
    ProcessTable* processTable;
    const bool* allExcept;
    const std::uint32_t* selfPid;
    const std::uint32_t* targetPid;
    std::mutex* sourceMapLock;  // guards *sources
    SourceMap* sources;
    // The processes and programs chosen by id and name, to capture (with
    // the window's, unless all-except) or to leave out (all-except).
    const ChosenProcesses* chosen = nullptr;  // null: nothing chosen beyond the window and --self
    // What a dead capture client wakes, and the registrations that the
    // session walk keeps up; null: none.
    RescanWake* wake = nullptr;
    AudioNotifications* notifications = nullptr;
    // Set when "--window" named a Store app's frame: the window's process is
    // then looked for at every scan, and only the scans touch the record.
    StoreAppFrame* storeAppFrame = nullptr;
};
