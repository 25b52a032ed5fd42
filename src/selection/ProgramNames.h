#pragma once
// Which program a process runs, as the command line's --exe and --except-exe
// name it and as the list of what plays reports it.
//
// A name matches case-insensitively. On Windows it is the executable's file
// name, given with or without ".exe". On Linux it is the executable's base
// name, or comm, the first 15 bytes of the name the process was run under:
// the names by which a stream's claimed program is recognised.
//
// OS-free and pure over the process table; the scanning thread and start-up.

#include "selection/ProcessTable.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// A name in matching form: lower-cased code unit by code unit.
std::u16string programKey(std::u16string name);

// True when `name`, a program's name as some report gives it (a stream's
// claimed binary), is the program `key`.
bool nameIsProgram(std::u16string_view name, std::u16string_view key);

// True when process `processId` runs the program `key`, by what the table
// knows of it.
bool runsProgram(const ProcessTable& table, std::uint32_t processId, std::u16string_view key);
bool runsAnyProgram(const ProcessTable& table, std::uint32_t processId, std::span<const std::u16string> keys);

// The name of the program a process runs, as the table knows it: the
// executable's base name where there is one, else the process's name; empty
// for a process the table does not hold.
std::u16string programOf(const ProcessTable& table, std::uint32_t processId);

// The top of the unbroken line of ancestors that run the same program as
// `processId` (the process itself when its parent runs another): the one
// process whose tree holds the whole application, helpers included. At most
// 63 steps up, whatever cycles the table holds.
std::uint32_t applicationProcessOf(const ProcessTable& table, std::uint32_t processId);
