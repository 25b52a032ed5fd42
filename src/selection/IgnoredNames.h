#pragma once
// Executable-name prefixes of audio routing and effects programs, one list
// per operating system. Such a program re-plays what other applications play,
// so capturing it would capture their sound once more. Both lists are OS-free
// data; `ignoredNamePrefixes` is the one of the system being built for.

#include <array>
#include <string_view>

// Windows: lower-cased file names of the executables.
inline constexpr std::array<std::u16string_view, 10> windowsIgnoredNamePrefixes{
    u"steelseries", u"sonar",   u"voicemeeter", u"vbaudio",      u"audiorepeater",
    u"nahimic",     u"fxsound", u"soundswitch", u"equalizerapo", u"peace",
};

// Linux: lower-cased process names (/proc/<pid>/comm, at most 15 bytes).
// Programs whose playback streams carry other applications' sound again:
// the effects chains EasyEffects, its predecessor PulseEffects and JamesDSP,
// the plugin host Carla, PipeWire's pw-loopback, and the mixer Pulsemeeter.
inline constexpr std::array<std::u16string_view, 6> linuxIgnoredNamePrefixes{
    u"easyeffects", u"pulseeffects", u"jamesdsp", u"carla", u"pw-loopback", u"pulsemeeter",
};

#ifdef _WIN32
inline constexpr auto& ignoredNamePrefixes = windowsIgnoredNamePrefixes;
#else
inline constexpr auto& ignoredNamePrefixes = linuxIgnoredNamePrefixes;
#endif
