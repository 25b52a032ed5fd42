// The shipped exe, unmodified, under stock Wine: Wine accepts a
// process-loopback activation but reports 0x80070002 for it, so start-up must
// end with exactly the "unsupported" line, nothing on standard output and
// exit code 2. Started as a parent starts it: CreateProcessW with three pipes.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UnsupportedProbe, StockWineGetsTheUnsupportedLineAndExitCodeTwo) {
    auto child = ChildProcess::start(L"\"" + windowsPath(VINTRA_APP_EXE) + L"\" --all-except 0");
    ASSERT_TRUE(child) << "cannot start " << std::string(VINTRA_APP_EXE) << ", error " << GetLastError();

    // A probe that wrongly succeeded would run on; do not wait for ever.
    std::string outputBytes;
    std::optional<DWORD> exitCode = child->drainOutputUntilExit(60000, outputBytes);
    std::string errorText = child->readAllError();

    ASSERT_TRUE(exitCode) << "the program did not end; standard error: " << errorText;
    EXPECT_EQ(errorText, "unsupported 0x80070002\n");
    EXPECT_EQ(outputBytes.size(), 0u);
    EXPECT_EQ(*exitCode, 2u);
}

}  // namespace
