// Window mode over a real process tree under Wine: the test starts
// "SelectionHelper spawn", which starts "SelectionHelper window", which owns
// a window. So the window's owner (the target) has the spawner as its parent
// and this test as its grandparent.

#include "HelperProcess.h"
#include "windows/OpenCaptureSource.h"
#include "windows/Scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WindowMode : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        spawner = new HelperProcess(L"spawn");
        std::string line = spawner->readLine();
        HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull("0" + line)));
        DWORD owner = 0;
        if (window != nullptr) {
            GetWindowThreadProcessId(window, &owner);
        }
        target = owner;
    }
    static void TearDownTestSuite() {
        delete spawner;  // ends the tree
        spawner = nullptr;
    }

    void SetUp() override { ASSERT_NE(target, 0u) << "the helper's window was not found"; }

    void scan(const SourceOpener& open) {
        scanWith(
            context,
            [this](IMMDeviceEnumerator**) -> HRESULT {
                ++enumeratorRequests;
                return E_FAIL;
            },
            open);
    }

    // Opens plain never-started sources, counting the requests.
    void scan() {
        scan([this](std::uint32_t id) {
            opened.push_back(id);
            return std::make_unique<CaptureSource>(id);
        });
    }

    static HelperProcess* spawner;
    static std::uint32_t target;

    ProcessTable table;
    bool allExcept = false;
    std::uint32_t selfPid = 0;
    std::uint32_t targetPid = target;
    std::mutex sourceMapLock;
    SourceMap sources;
    ScanContext context{&table, &allExcept, &selfPid, &targetPid, &sourceMapLock, &sources};
    std::vector<std::uint32_t> opened;
    int enumeratorRequests = 0;
};

HelperProcess* WindowMode::spawner = nullptr;
std::uint32_t WindowMode::target = 0;

TEST_F(WindowMode, TheTreeIsAsBuilt) {
    table.refresh();
    EXPECT_EQ(table.parents.at(target), spawner->processId());
    EXPECT_EQ(table.parents.at(spawner->processId()), GetCurrentProcessId());
    EXPECT_EQ(table.names.at(target), u"selectionhelper.exe");
}

TEST_F(WindowMode, TargetIsWantedWithoutAnyAudioSession) {
    for (std::uint32_t self : {0u, 4u /* a process outside the tree */}) {
        selfPid = self;
        sources.clear();
        opened.clear();
        scan();
        EXPECT_EQ(opened, std::vector<std::uint32_t>{target}) << "self " << self;
        EXPECT_TRUE(sources.contains(target)) << "self " << self;
    }
    EXPECT_EQ(enumeratorRequests, 0) << "window mode asks for no session";
}

TEST_F(WindowMode, NothingIsWantedWhenSelfIsTheTargetOrAnAncestor) {
    struct Case {
        const char* what;
        std::uint32_t self;
    };
    const Case cases[] = {
        {"self is the target", target},
        {"self is the target's parent", spawner->processId()},
        {"self is the target's grandparent", GetCurrentProcessId()},
    };
    for (const Case& c : cases) {
        // A source opened while the caller was elsewhere...
        selfPid = 0;
        scan();
        ASSERT_TRUE(sources.contains(target)) << c.what;
        // ...is closed once the caller is in the target's lineage.
        selfPid = c.self;
        opened.clear();
        scan();
        EXPECT_TRUE(sources.empty()) << c.what;
        EXPECT_TRUE(opened.empty()) << c.what;
    }
}

TEST_F(WindowMode, FailedOpeningIsTriedAgainAtEveryScan) {
    // The real opening: Wine has no process-loopback capture, so it fails.
    int attempts = 0;
    auto openForReal = [&](std::uint32_t id) {
        ++attempts;
        return openCaptureSource(id);
    };
    scan(openForReal);
    scan(openForReal);
    scan(openForReal);
    EXPECT_EQ(attempts, 3);
    EXPECT_TRUE(sources.empty());
}

}  // namespace
