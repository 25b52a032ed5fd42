// Whole scans with the real process table and fake doors to the audio
// system: the session walk over fake objects, and sources that are plain
// never-started CaptureSources.

#include "FakeSessionPlatform.h"
#include "windows/Scanner.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Process ids that no real process has under Wine's small id range.
constexpr std::uint32_t playerA = 900004;
constexpr std::uint32_t playerB = 900008;

struct ScanFixture {
    ScanFixture() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

    ProcessTable table;
    bool allExcept = true;
    std::uint32_t selfPid = 0;
    std::uint32_t targetPid = 0;
    std::mutex sourceMapLock;
    SourceMap sources;
    ScanContext context{&table, &allExcept, &selfPid, &targetPid, &sourceMapLock, &sources};

    FakeWorld world;
    std::vector<std::uint32_t> opened;  // every opening asked for, in order

    void scan() {
        scanWith(
            context, [this](IMMDeviceEnumerator** out) { return world.createEnumerator(out); },
            [this](std::uint32_t id) -> std::unique_ptr<CaptureSource> {
                opened.push_back(id);
                return std::make_unique<CaptureSource>(id);
            });
    }

    ProcessIdSet ids() const {
        ProcessIdSet result;
        for (const auto& [id, source] : sources) {
            EXPECT_EQ(source->processId, id);
            result.insert(id);
        }
        return result;
    }
};

using Opened = std::vector<std::uint32_t>;

TEST(Scan, EnumeratorThatCannotBeCreatedClosesEverySourceUntilAGoodScan) {
    ScanFixture f;
    FakeDevice& device = f.world.addEndpoint();
    f.world.addSession(device, playerA);
    f.world.addSession(device, playerB);

    f.scan();
    EXPECT_EQ(f.ids(), (ProcessIdSet{playerA, playerB}));

    f.world.createResult = REGDB_E_CLASSNOTREG;
    f.scan();
    EXPECT_TRUE(f.sources.empty());

    f.world.createResult = S_OK;
    f.scan();
    EXPECT_EQ(f.ids(), (ProcessIdSet{playerA, playerB}));
    EXPECT_EQ(f.opened, (Opened{playerA, playerB, playerA, playerB}));
    EXPECT_EQ(f.world.unbalanced(), std::vector<std::string>{});
}

TEST(Scan, ThisProgramAndTheSelfProcessAreNeverCaptured) {
    ScanFixture f;
    FakeDevice& device = f.world.addEndpoint();
    f.world.addSession(device, GetCurrentProcessId());
    f.world.addSession(device, playerA);
    f.world.addSession(device, playerB);
    f.selfPid = playerB;

    f.scan();
    EXPECT_EQ(f.ids(), ProcessIdSet{playerA});
    EXPECT_EQ(f.opened, Opened{playerA});
}

}  // namespace
