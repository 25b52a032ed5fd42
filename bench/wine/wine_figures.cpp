// wine-figures.exe: the figures of the running program under Wine with the
// fake platform, taken from the parent's side. scripts/bench.sh runs it once
// per part and gathers its "figure|..." lines into one table.
//
//   wine-figures stream <seconds> [churn]
//   wine-figures cost <seconds> <sources>...
//   wine-figures startup <runs>
//   wine-figures endurance <seconds>
//   wine-figures first-sound <runs> [exe]
//
// It prints figures and never judges them: the exit code says only whether
// the run could be made.

#include "CostRun.h"
#include "EnduranceRun.h"
#include "FirstSoundRun.h"
#include "StreamRun.h"

#include <cwchar>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    const std::wstring part = argc >= 2 ? argv[1] : L"";
    const double number = argc >= 3 ? std::wcstod(argv[2], nullptr) : 0;
    bool made = false;
    if (part == L"stream" && number > 0) {
        made = measure::streamRun(number, argc >= 4 && std::wcscmp(argv[3], L"churn") == 0);
    } else if (part == L"cost" && number > 0) {
        std::vector<int> counts;
        for (int i = 3; i < argc; ++i) counts.push_back(_wtoi(argv[i]));
        made = measure::costRun(counts, number);
    } else if (part == L"startup" && number > 0) {
        made = measure::startupRun(static_cast<int>(number));
    } else if (part == L"endurance" && number > 0) {
        made = measure::enduranceRun(number);
    } else if (part == L"first-sound" && number > 0) {
        made = measure::firstSoundRun(static_cast<int>(number), argc >= 4 ? argv[3] : L"");
    } else {
        std::fputs("usage: wine-figures stream <seconds> [churn] | cost <seconds> <sources>... | startup <runs> | "
                   "endurance <seconds> | first-sound <runs> [exe]\n",
                   stderr);
        return 2;
    }
    return made ? 0 : 1;
}
