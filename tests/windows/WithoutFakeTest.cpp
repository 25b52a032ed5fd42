// The shipped exe where the fake platform is not loaded: without a target it
// writes the usage line whatever the platform, and under stock Wine, whose
// mmdevapi completes a process-loopback activation with 0x80070002, it ends
// at its probe.

#include "FakeWorld.h"

namespace {

TEST(WithoutFake, NoTargetGivesTheUsageLineAndCodeOne) {
    for (const wchar_t* arguments : {L"", L"--all-except", L"--self 1234", L"--window 1", L"--window 0x10 --self 7"}) {
        SCOPED_TRACE(arguments);
        expectOnlyOnStandardError(*startProgram(arguments), 1,
                                  "usage: vintra-app-audio --window <hwnd> [--self <pid>] | --all-except <pid>\n");
    }
}

TEST(WithoutFake, StockWineIsUnsupported) {
    expectOnlyOnStandardError(*startProgram(L"--all-except 0"), 2, "unsupported 0x80070002\n");
}

}  // namespace
