#include "windows/Utf8Text.h"

#include <windows.h>

#include <algorithm>
#include <climits>

std::string utf8FromUtf16(std::wstring_view text) {
    // No flags: WideCharToMultiByte then replaces unpaired surrogates rather
    // than failing on them (WC_ERR_INVALID_CHARS would fail).
    const int units = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
    if (units == 0) {
        return {};
    }
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text.data(), units, bytes.data(), needed, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(std::max(written, 0)));
    return bytes;
}

std::string utf8FromUtf16(std::u16string_view text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 code units");
    return utf8FromUtf16(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}
