#include "windows/SessionDescriptions.h"

#include "windows/Utf8Text.h"

#include <objbase.h>

#include <memory>

namespace {

struct TaskMemoryFree {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

// The string a session call allocated, taken over so that it is freed once;
// none when the call failed (a failed call hands over nothing, whatever it
// left in the out-parameter) or gave no string.
std::optional<std::wstring> takeString(HRESULT result, LPWSTR text) {
    if (FAILED(result) || text == nullptr) {
        return std::nullopt;
    }
    const std::unique_ptr<wchar_t, TaskMemoryFree> owned(text);
    return std::wstring(owned.get());
}

std::optional<std::string> displayNameOf(IAudioSessionControl& control) {
    LPWSTR text = nullptr;
    const HRESULT result = control.GetDisplayName(&text);
    const std::optional<std::wstring> name = takeString(result, text);
    // "@" starts a reference to a string resource of some module: no text.
    if (!name || name->empty() || name->front() == L'@') {
        return std::nullopt;
    }
    return utf8FromUtf16(*name);
}

std::optional<std::string> iconPathOf(IAudioSessionControl& control) {
    LPWSTR text = nullptr;
    const HRESULT result = control.GetIconPath(&text);
    const std::optional<std::wstring> icon = takeString(result, text);
    if (!icon || icon->empty()) {
        return std::nullopt;
    }
    return utf8FromUtf16(*icon);
}

}  // namespace

std::vector<PlayingReport> describeLiveSessions(const DeviceEnumeratorFactory& createEnumerator) {
    std::vector<PlayingReport> reports;
    walkLiveSessions(createEnumerator, [&reports](std::uint32_t processId, IAudioSessionControl& control) {
        PlayingReport report;
        report.processId = processId;
        report.name = displayNameOf(control);
        report.icon = iconPathOf(control);
        // Preset as the walk presets it: a state that cannot be read is no
        // sound now.
        AudioSessionState state = AudioSessionStateExpired;
        control.GetState(&state);
        report.playing = state == AudioSessionStateActive;
        reports.push_back(std::move(report));
    });
    return reports;
}
