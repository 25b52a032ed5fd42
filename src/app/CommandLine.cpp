#include "app/CommandLine.h"

#include "selection/ProgramNames.h"

#include <cwchar>
#include <limits>

namespace {

// The C locale's white space, which is what the runtime's conversions skip.
bool isConversionSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The C library's base-10 unsigned conversion for an unsigned type of any
// width: the pid conversion must saturate at 32 bits even where the host's
// `unsigned long` is 64 bits wide, so the width comes from the type, not
// from the library.
template <class Unsigned>
Unsigned convertDecimal(const wchar_t* text) {
    constexpr Unsigned largest = std::numeric_limits<Unsigned>::max();
    if (text == nullptr) {
        return 0;
    }
    const wchar_t* p = text;
    while (isConversionSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    Unsigned value = 0;
    bool overflow = false;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        const Unsigned digit = static_cast<Unsigned>(*p - L'0');
        // Keep consuming digits after an overflow: the result saturates
        // however long the number goes on.
        if (overflow || value > (largest - digit) / 10) {
            overflow = true;
            continue;
        }
        value = value * 10 + digit;
    }
    if (overflow) {
        // An overflowing number saturates, negative or not.
        return largest;
    }
    // Unsigned negation is the modulo-2^N negation the runtime applies.
    return negative ? static_cast<Unsigned>(0 - value) : value;
}

bool spells(const wchar_t* argument, const wchar_t* option) {
    return argument != nullptr && std::wcscmp(argument, option) == 0;
}

bool isEmpty(const wchar_t* text) {
    return text == nullptr || *text == L'\0';
}

// A program's name as the command line gives it: on Windows UTF-16, on Linux
// one code unit per byte (main.cpp widens argv so), the form the process
// table keeps names in.
std::u16string programName(const wchar_t* text) {
    std::u16string name;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        name.push_back(static_cast<char16_t>(*p));
    }
    return name;
}

}  // namespace

std::uint32_t convertProcessId(const wchar_t* text) {
    return convertDecimal<std::uint32_t>(text);
}

std::uint64_t convertWindowHandle(const wchar_t* text) {
    return convertDecimal<std::uint64_t>(text);
}

SelectionValues parseCommandLine(int argc, const wchar_t* const* argv, const WindowOwnerLookup& windowOwner,
                                 const ProcessRunsCheck& processRuns) {
    SelectionValues values;
    ChosenProcesses& chosen = values.chosen;
    // Every position but the program name and the last argument is looked at,
    // one step at a time: an option's value is looked at too, so a value that
    // spells an option acts as one, and an option in last place has no value
    // and so no effect.
    for (int i = 1; i <= argc - 2; ++i) {
        const wchar_t* argument = argv[i];
        const wchar_t* value = argv[i + 1];
        if (spells(argument, L"--window")) {
            if (windowOwner) {
                windowOwner(convertWindowHandle(value), values.targetPid);
            }
        } else if (spells(argument, L"--all-except")) {
            values.allExcept = true;
            values.selfPid = convertProcessId(value);
        } else if (spells(argument, L"--self")) {
            values.selfPid = convertProcessId(value);
        } else if (spells(argument, L"--pid")) {
            // An id that names no running process is no target, as a handle
            // that names no window is none.
            const std::uint32_t pid = convertProcessId(value);
            if (pid != 0 && (!processRuns || processRuns(pid))) {
                chosen.pids.push_back(pid);
            }
        } else if (spells(argument, L"--exe")) {
            if (!isEmpty(value)) {
                chosen.programs.push_back(programKey(programName(value)));
            }
        } else if (spells(argument, L"--except-pid")) {
            values.allExcept = true;
            chosen.exceptPids.push_back(convertProcessId(value));
        } else if (spells(argument, L"--except-exe")) {
            values.allExcept = true;
            if (!isEmpty(value)) {
                chosen.exceptPrograms.push_back(programKey(programName(value)));
            }
        }
    }
    // The flags take no value, so the last position counts for them too.
    for (int i = 1; i < argc; ++i) {
        values.list = values.list || spells(argv[i], L"--list");
        values.follow = values.follow || spells(argv[i], L"--follow");
        values.rateMatch = values.rateMatch || spells(argv[i], L"--rate-match");
    }
    return values;
}
