#include "app/CommandLine.h"
SelectionValues parseCommandLine(int, const wchar_t* const*, const WindowOwnerLookup&) { return {}; }
std::uint32_t convertProcessId(const wchar_t*) { return 0; }
std::uint64_t convertWindowHandle(const wchar_t*) { return 0; }
