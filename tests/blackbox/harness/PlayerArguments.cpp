#include "harness/BlackboxTest.h"

namespace blackbox {

std::wstring playerArguments(const PlayerSpec& spec) {
    std::wstring args = L"--freq " + std::to_wstring(spec.frequency) + L" --level " + std::to_wstring(spec.level) +
                        L" --state " + spec.state + L" --endpoints " + std::to_wstring(spec.endpoints);
    if (spec.systemSounds) args += L" --system";
    if (spec.window) args += L" --window";
    if (!spec.playing) args += L" --silent";
    for (const auto& child : spec.children) {
        args += L" --child " + quoteArgument(playerArguments(child));
    }
    return args;
}

}  // namespace blackbox
