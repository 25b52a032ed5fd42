#pragma once
// What plays now, as "--list" prints it: one line of JSON, an array with one
// object per process that plays, for a parent's picker.
//
// The processes are those that all-except mode with nothing excluded would
// consider, before the tree reduction, this program left out. A stream whose
// process is unknown (Linux) is listed alone, with a null pid. Every key is
// always there, null where the system does not say.
//
// OS-free and pure: the system's reports come in as data; the text of a
// name from the process table comes from the caller, who knows its
// encoding. Start-up's thread, or the following loop's.

#include "selection/ProcessTable.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One playing stream or session as the system reports it; texts in UTF-8 as
// the system gives them (they may be anything).
struct PlayingReport {
    std::optional<std::uint32_t> processId;  // none: the process is unknown
    std::string claimedProgram;              // the program an unknown process claims to run
    std::optional<std::string> name;         // what the app calls itself
    std::optional<std::string> media;        // what it plays
    std::optional<std::string> icon;
    // It sounds now: an active session, a stream that is not corked. An
    // idle app may hold a stream that is neither.
    bool playing = false;
};

struct PlayingEntry {
    std::optional<std::uint32_t> pid;
    std::optional<std::uint32_t> appPid;  // the top of its application (ProgramNames.h)
    std::optional<std::string> exe;       // its program, as --exe matches it
    std::optional<std::string> name, media, icon;
    std::optional<std::string> appId;     // a sandboxed app's id; the caller fills it
    bool ignored = false;                 // left out by name as an audio router
    bool playing = false;                 // one of its reports sounds now
};

// A name from the process table as UTF-8.
using TableNameText = std::function<std::string(const std::u16string&)>;

// One entry per process in ascending pid, each with the first name, media
// and icon that one of its reports gives, playing when any of them plays;
// then one per report of an unknown process, in the order given. `ownPid` is
// left out.
std::vector<PlayingEntry> playingEntries(const ProcessTable& table, std::span<const PlayingReport> reports,
                                         std::uint32_t ownPid, const TableNameText& text);

// The whole line, "\n" included. Quotes and control characters are escaped
// and bytes that are not UTF-8 replaced, so no name can break the line.
std::string playingListLine(std::span<const PlayingEntry> entries);
