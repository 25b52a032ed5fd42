// Reconciling the source map with the wanted set, scan after scan, against
// sources that write their opening and closing into one journal, which is
// also the source-map lock: it notes each release of the lock with the ids
// the map then holds, any step taken under the lock, and any change of the
// map made while the lock was free.

#include "selection/Reconcile.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

struct FakeSource;
using FakeMap = std::map<std::uint32_t, std::unique_ptr<FakeSource>>;

struct Journal {
    const FakeMap* sources = nullptr;
    std::vector<std::string> steps;
    bool locked = false;
    std::string idsAtRelease;

    std::string ids() const {
        std::string text = "map";
        for (const auto& entry : *sources) text.append(" ").append(std::to_string(entry.first));
        return text;
    }
    void checkUnchanged() {
        if (!locked && ids() != idsAtRelease) steps.push_back("changed without the lock");
    }
    void lock() {
        checkUnchanged();
        locked = true;
    }
    void unlock() {
        locked = false;
        idsAtRelease = ids();
        steps.push_back(idsAtRelease);
    }
    void note(const std::string& step) {
        checkUnchanged();
        steps.push_back(locked ? step + " under the lock" : step);
    }
};

struct FakeSource {
    Journal& journal;
    std::uint32_t id;
    bool ended = false;
    ~FakeSource() { journal.note("close " + std::to_string(id)); }
};

TEST(Reconcile, ClosingsThenOpeningsEachInAscendingIdNoneUnderTheLock) {
    struct Case {
        std::set<std::uint32_t> wanted, failing, ended;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {{7, 3, 1, 5}, {}, {}, {"map", "open 1", "map 1", "open 3", "map 1 3", "open 5", "map 1 3 5", "open 7",
                                "map 1 3 5 7"}},
        {{2, 3, 4, 8}, {}, {}, {"map 3", "close 1", "close 5", "close 7", "open 2", "map 2 3", "open 4", "map 2 3 4",
                                "open 8", "map 2 3 4 8"}},
        // Wanted and present: neither reopened nor tested; a failed opening
        // leaves the map alone.
        {{2, 3, 4, 8, 9}, {9}, {}, {"map 2 3 4 8", "fail 9"}},
        // A failed opening is retried.
        {{3, 9}, {}, {}, {"map 3", "close 2", "close 4", "close 8", "open 9", "map 3 9"}},
        {{3, 9}, {}, {}, {"map 3 9"}},
        // An ended source is closed with the unwanted ones, and opened again
        // with the new ones when it is still wanted.
        {{1, 9}, {}, {9}, {"map", "close 3", "close 9", "open 1", "map 1", "open 9", "map 1 9"}},
        {{}, {}, {}, {"map", "close 1", "close 9"}},
    };
    Journal journal;
    FakeMap sources;
    journal.sources = &sources;
    journal.idsAtRelease = journal.ids();
    for (const Case& c : cases) {
        for (auto& [id, source] : sources) source->ended = c.ended.contains(id);
        journal.steps.clear();
        reconcileSources(
            journal, sources, c.wanted,
            [&](std::uint32_t id) -> std::unique_ptr<FakeSource> {
                const bool fails = c.failing.contains(id);
                journal.note((fails ? "fail " : "open ") + std::to_string(id));
                return fails ? nullptr : std::make_unique<FakeSource>(journal, id);
            },
            [](std::uint32_t, const FakeSource& source) { return source.ended; });
        EXPECT_EQ(journal.steps, c.steps) << "row " << &c - cases;
    }
}

}  // namespace
