#include "harness/BlackboxTest.h"

namespace blackbox {

std::wstring playerArguments(const PlayerSetup& setup) {
    std::wstring args = L"--freq " + std::to_wstring(setup.frequency) + L" --level " + std::to_wstring(setup.level) +
                        L" --state " + setup.state + L" --endpoints " + std::to_wstring(setup.endpoints);
    if (setup.systemSounds) args += L" --system";
    if (setup.window) args += L" --window";
    if (!setup.playing) args += L" --silent";
    for (const auto& child : setup.children) {
        args += L" --child " + quoteArgument(playerArguments(child));
    }
    return args;
}

}  // namespace blackbox
