#include "harness/BlackboxTest.h"

namespace blackbox {

std::vector<std::wstring> playerArguments(const PlayerSpec& spec) {
    std::vector<std::wstring> args = {L"--freq", std::to_wstring(spec.frequency), L"--level",
                                      std::to_wstring(spec.level), L"--state", spec.state,
                                      L"--endpoints", std::to_wstring(spec.endpoints)};
    if (spec.systemSounds) args.push_back(L"--system-sounds");
    if (spec.window) args.push_back(L"--window");
    if (!spec.playing) args.push_back(L"--silent");
    args.insert(args.end(), spec.extra.begin(), spec.extra.end());
    return args;
}

}  // namespace blackbox
