#pragma once
// One measured figure as a line that scripts/bench.sh gathers into its
// table:  figure|<group>|<name>|<value>|<unit>|<aim>|<how it was measured>
// Anything else the measuring programs print is commentary. Shared by the
// Windows (bench/wine) and the Linux (bench/linux) measuring programs.
//
// Threads: the measuring program's main thread.

#include <cstdio>
#include <string>

namespace measure {

inline void figure(const std::string& group, const std::string& name, double value, const std::string& unit,
                   const std::string& aim, const std::string& how) {
    std::printf("figure|%s|%s|%.4g|%s|%s|%s\n", group.c_str(), name.c_str(), value, unit.c_str(), aim.c_str(),
                how.c_str());
    std::fflush(stdout);
}

inline void note(const std::string& text) {
    std::printf("# %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace measure
