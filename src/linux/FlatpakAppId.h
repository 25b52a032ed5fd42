#pragma once
// Which Flatpak app a process belongs to. Flatpak writes the app's id into
// /.flatpak-info inside each sandbox ("[Application]", "name="); from
// outside it shows as /proc/<pid>/root/.flatpak-info.
//
// The file is the sandbox's, so whatever runs in there may have put
// something else at that place: a link, a pipe, a device, a huge file. Only
// a regular file of modest size is read, never waited on.
//
// Threads: any; no state.

#include <cstdint>
#include <optional>
#include <string>

// The app's id; nothing for a process outside such a sandbox, one that has
// ended, or one whose file cannot be read or holds no id.
std::optional<std::string> flatpakAppIdOf(std::uint32_t processId);
