#pragma once
// How soon a new app is heard: a player starts while the program runs, and
// the time from the moment it publishes its session (its first sound) to
// the first block of the program's stream that holds sound, at the parent.
//
// Threads: the measuring program's main thread.

#include <string>

namespace measure {

// `runs` players, one after another, each ended before the next starts, at
// starts spread over the rescan period. `exe` empty: the program built
// beside this one; else that exe (an earlier build, to compare). False when
// the run itself failed.
bool firstSoundRun(int runs, const std::wstring& exe);

}  // namespace measure
