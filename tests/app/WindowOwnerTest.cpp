// "--window" with the system's own lookup: the handle of a window that
// another process owns gives that process's id; once the window is gone the
// same number gives none.

#include "ChildProcess.h"
#include "app/CommandLine.h"
#include "windows/WindowOwner.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::uint32_t targetFor(const std::wstring& handle) {
    const wchar_t* argv[] = {L"vintra-app-audio.exe", L"--self", L"77", L"--window", handle.c_str(), nullptr};
    return parseCommandLine(5, argv, lookUpWindowOwner).targetPid;
}

TEST(WindowOwner, HandleOfAnotherProcesssWindowGivesThatProcess) {
    std::optional<ChildProcess> owner = ChildProcess::start(L"\"" + windowsPath(VINTRA_WINDOW_HELPER_EXE) + L"\"");
    ASSERT_TRUE(owner.has_value());
    const std::string line = owner->readOutputLine();
    ASSERT_FALSE(line.empty()) << "the helper reported no window (exit " << owner->waitForExit(0).value_or(259)
                               << ")";
    const std::wstring handle(line.begin(), line.end());
    ASSERT_NE(convertWindowHandle(handle.c_str()), 0u);

    EXPECT_EQ(targetFor(handle), owner->processId());
    EXPECT_NE(owner->processId(), GetCurrentProcessId());

    owner->closeInput();
    const std::optional<DWORD> exitCode = owner->waitForExit(30'000);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0u);
    ASSERT_FALSE(IsWindow(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(convertWindowHandle(handle.c_str())))));
    EXPECT_EQ(targetFor(handle), 0u);
}

TEST(WindowOwner, NumbersThatNameNoWindowLeaveTheTargetZero) {
    EXPECT_EQ(targetFor(L"0"), 0u);
    EXPECT_EQ(targetFor(L"0x10"), 0u);
    EXPECT_EQ(targetFor(L"18446744073709551615"), 0u);
}

}  // namespace
