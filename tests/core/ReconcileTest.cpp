// Reconciling the source map with the wanted set, scan after scan, against
// sources that write their opening and closing into one journal.

#include "selection/Reconcile.h"

#include <gtest/gtest.h>

#include <map>

struct Journal {
    std::vector<std::string> steps;
    bool locked = false;
    void lock() { locked = true; }
    void unlock() { locked = false; }
    void note(const std::string& step) { steps.push_back(locked ? step : step + " unlocked"); }
};

struct FakeSource {
    Journal& journal;
    std::uint32_t id;
    ~FakeSource() { journal.note("close " + std::to_string(id)); }
};

TEST(Reconcile, ClosingsThenOpeningsEachInAscendingId) {
    struct Case { std::set<std::uint32_t> wanted, failing; std::vector<std::string> steps; };
    const Case cases[] = {
        {{7, 3, 1, 5}, {}, {"open 1", "open 3", "open 5", "open 7"}},
        {{2, 3, 4, 8}, {}, {"close 1", "close 5", "close 7", "open 2", "open 4", "open 8"}},
        {{2, 3, 4, 8, 9}, {9}, {"fail 9"}},  // wanted and present: neither reopened nor tested
        {{3, 9}, {}, {"close 2", "close 4", "close 8", "open 9"}},  // a failed opening is retried
        {{3, 9}, {}, {}},
        {{}, {}, {"close 3", "close 9"}},
    };
    Journal journal;
    std::map<std::uint32_t, std::unique_ptr<FakeSource>> sources;
    for (const Case& c : cases) {
        journal.steps.clear();
        reconcileSources(journal, sources, c.wanted, [&](std::uint32_t id) -> std::unique_ptr<FakeSource> {
            const bool fails = c.failing.contains(id);
            journal.note((fails ? "fail " : "open ") + std::to_string(id));
            return fails ? nullptr : std::make_unique<FakeSource>(journal, id);
        });
        EXPECT_EQ(journal.steps, c.steps) << "row " << &c - cases;
    }
}
