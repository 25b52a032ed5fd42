#pragma once
// What each live audio session says of itself, for the list of what plays:
// its process, the display name and icon path that the application set for
// the session (what the system's volume mixer shows), and whether it plays
// now (active) or only holds a stream (inactive, as many idle apps do).
//
// Threads: the thread that lists, in the multithreaded apartment. Every
// reference and string it obtains is released before it returns.

#include "selection/PlayingList.h"
#include "windows/SessionWalk.h"

#include <vector>

// One report per live session, in the order of the walk (SessionWalk.h). A
// name is left out when it is empty or an unresolved resource reference
// ("@dll,-id"), which is no text to show; an icon path when it is empty.
std::vector<PlayingReport> describeLiveSessions(const DeviceEnumeratorFactory& createEnumerator);
