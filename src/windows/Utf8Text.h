#pragma once
// UTF-16 text of the system (session names, icon paths, the process list's
// executable names) as the UTF-8 that the list of what plays is written in.
//
// Threads: any; it keeps no state.

#include <string>
#include <string_view>

// Every unpaired surrogate becomes U+FFFD, so whatever the system hands over
// converts; empty text, or text the system cannot convert, gives "".
std::string utf8FromUtf16(std::wstring_view text);
std::string utf8FromUtf16(std::u16string_view text);
