// Reconciliation of a map of sources with a wanted set, against fake sources
// that log their opening and destruction.

#include "selection/Reconcile.h"
#include "selection/SelectionRules.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

struct Journal;

// Logs its own destruction, and whether its map entry was gone by then.
struct FakeSource {
    FakeSource(std::uint32_t id, Journal& journal) : id(id), journal(journal) {}
    ~FakeSource();
    std::uint32_t id;
    Journal& journal;
};

using FakeMap = std::map<std::uint32_t, std::unique_ptr<FakeSource>>;

// A lock that records whether it is held, so that every logged step can say
// whether it ran under it.
struct RecordingLock {
    void lock() {
        EXPECT_FALSE(held) << "taken twice";
        held = true;
        ++acquisitions;
    }
    void unlock() {
        EXPECT_TRUE(held) << "released while not held";
        held = false;
    }
    bool held = false;
    int acquisitions = 0;
};

struct Journal {
    std::vector<std::string> steps;
    RecordingLock lock;
    FakeMap sources;
    ProcessIdSet failingOpens;  // ids whose opening returns nothing
    bool stepOutsideLock = false;
    bool destroyedWhileInMap = false;

    // The sources look back into the journal as they go: empty the map
    // before any member is destroyed.
    ~Journal() { FakeMap(std::move(sources)).clear(); }

    void note(const std::string& step) {
        stepOutsideLock = stepOutsideLock || !lock.held;
        steps.push_back(step);
    }

    void scan(const ProcessIdSet& wanted) {
        reconcileSources(lock, sources, wanted, [this](std::uint32_t id) -> std::unique_ptr<FakeSource> {
            if (failingOpens.contains(id)) {
                note("fail " + std::to_string(id));
                return nullptr;
            }
            note("open " + std::to_string(id));
            return std::make_unique<FakeSource>(id, *this);
        });
    }

    void fill(const ProcessIdSet& ids) {
        for (std::uint32_t id : ids) {
            sources.emplace(id, std::make_unique<FakeSource>(id, *this));
        }
    }

    ProcessIdSet ids() const {
        ProcessIdSet result;
        for (const auto& entry : sources) {
            result.insert(entry.first);
        }
        return result;
    }
};

FakeSource::~FakeSource() {
    journal.destroyedWhileInMap = journal.destroyedWhileInMap || journal.sources.contains(id);
    journal.note("close " + std::to_string(id));
}

using Steps = std::vector<std::string>;

TEST(Reconcile, EveryClosingComesBeforeEveryOpeningInAscendingOrder) {
    Journal journal;
    journal.fill({1, 3, 5, 7});
    FakeSource* kept = journal.sources.at(3).get();

    journal.scan({2, 3, 4, 8});

    EXPECT_EQ(journal.steps, (Steps{"close 1", "close 5", "close 7", "open 2", "open 4", "open 8"}));
    EXPECT_EQ(journal.ids(), (ProcessIdSet{2, 3, 4, 8}));
    EXPECT_EQ(journal.sources.at(3).get(), kept) << "a wanted source is neither closed nor reopened";
    EXPECT_FALSE(journal.stepOutsideLock);
    EXPECT_FALSE(journal.destroyedWhileInMap) << "a source is taken out before it is destroyed";
    EXPECT_EQ(journal.lock.acquisitions, 1);
    EXPECT_FALSE(journal.lock.held);
}

TEST(Reconcile, NothingToChangeTouchesNoSource) {
    Journal journal;
    journal.fill({4, 9});
    journal.scan({4, 9});
    EXPECT_TRUE(journal.steps.empty());
    EXPECT_EQ(journal.lock.acquisitions, 1);

    // An empty wanted set with an empty map still takes and releases the lock.
    Journal empty;
    empty.scan({});
    EXPECT_TRUE(empty.steps.empty());
    EXPECT_TRUE(empty.sources.empty());
    EXPECT_EQ(empty.lock.acquisitions, 1);
    EXPECT_FALSE(empty.lock.held);
}

TEST(Reconcile, FailedOpeningIsTriedAgainAtTheNextScan) {
    Journal journal;
    journal.failingOpens = {5};
    journal.scan({5, 6});
    EXPECT_EQ(journal.ids(), ProcessIdSet{6});

    journal.scan({5, 6});
    journal.failingOpens.clear();
    journal.scan({5, 6});
    EXPECT_EQ(journal.steps, (Steps{"fail 5", "open 6", "fail 5", "open 5"}));
    EXPECT_EQ(journal.ids(), (ProcessIdSet{5, 6}));
}

TEST(Reconcile, EmptyWantedSetClosesEverything) {
    Journal journal;
    journal.fill({30, 10, 20});
    journal.scan({});
    EXPECT_EQ(journal.steps, (Steps{"close 10", "close 20", "close 30"}));
    EXPECT_TRUE(journal.sources.empty());
}

TEST(Reconcile, OpeningThatThrowsLeavesTheLockReleasedAndClosingsDone) {
    Journal journal;
    journal.fill({1});
    bool threw = false;
    try {
        reconcileSources(journal.lock, journal.sources, ProcessIdSet{2},
                         [](std::uint32_t) -> std::unique_ptr<FakeSource> { throw std::bad_alloc(); });
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    EXPECT_TRUE(threw);
    EXPECT_FALSE(journal.lock.held);
    EXPECT_TRUE(journal.sources.empty());
    EXPECT_EQ(journal.steps, Steps{"close 1"});
}

// Whole scans natively: the all-except rule feeding the reconciliation, as
// the sessions of a browser (2000) and its child (2010) come and go.
TEST(Reconcile, ParentSessionExpiringHandsTheSourceToTheChild) {
    ProcessTable table;
    table.record(2000, 100, u"browser.exe");
    table.record(2010, 2000, u"browser.exe");
    Journal journal;
    auto scan = [&](const ProcessIdSet& sessions) {
        journal.scan(wantedByAllExceptRule(table, sessions, /*ownPid=*/600, /*selfPid=*/120));
    };

    scan({2000, 2010});
    EXPECT_EQ(journal.ids(), ProcessIdSet{2000});
    scan({2010});  // the parent's session has expired
    EXPECT_EQ(journal.ids(), ProcessIdSet{2010});
    scan({});  // and now the child's
    EXPECT_TRUE(journal.sources.empty());
    EXPECT_EQ(journal.steps, (Steps{"open 2000", "close 2000", "open 2010", "close 2010"}));
}

}  // namespace
