// Window mode as a parent uses it: "--window <hwnd>" captures the process
// that owns the window with its whole process tree, unless the caller's own
// process ("--self") is that process or one of its ancestors.

#include "harness/BlackboxTest.h"

#include <string>

namespace blackbox {
namespace {

constexpr long level = 8192;  // 0.25 of full scale
constexpr double heard = 0.8 * 0.25;
constexpr double absent = 0.01;

struct WindowSearch {
    DWORD processId;
    HWND found;
};

// The top-level window of a process that this test did not start itself
// (a player's grandchild), as any parent would find it.
HWND windowOf(DWORD processId) {
    WindowSearch search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<WindowSearch*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring decimal(HWND window) { return std::to_wstring(reinterpret_cast<std::uintptr_t>(window)); }

class WindowMode : public BlackboxTest {};

TEST_F(WindowMode, TheWindowsProcessTreeIsHeard) {
    PlayerSetup owner{.frequency = 440, .level = level, .window = true};
    owner.children.push_back(PlayerSetup{.frequency = 660, .level = level});
    auto& player = startPlayer(owner);
    ASSERT_NE(player.report().window, 0u);
    PlayerSetup bystander{.frequency = 550, .level = level};
    startPlayer(bystander);

    auto program = startReadyProgram({L"--window", std::to_wstring(player.report().window)});
    listen(*program, 20);  // the FIFO's first fill
    auto sound = listen(*program, 50);
    EXPECT_GE(toneLevel(sound, 440), heard) << "the window's owner";
    EXPECT_GE(toneLevel(sound, 660), heard) << "its child";
    EXPECT_LT(toneLevel(sound, 440), 0.25 * 1.1) << "heard once, not twice";
    EXPECT_LT(toneLevel(sound, 550), absent) << "a process outside the tree";
}

// A tree grandparent -> parent -> target (owns the window) -> child, every
// one of them playing a tone of its own, so that capturing any part of it
// would be heard.
TEST_F(WindowMode, CallerInTheTargetsLineageHearsOnlySilence) {
    PlayerSetup child{.frequency = 660, .level = level};
    PlayerSetup target{.frequency = 440, .level = level, .window = true, .children = {child}};
    PlayerSetup parent{.frequency = 550, .level = level, .children = {target}};
    PlayerSetup grandparent{.frequency = 330, .level = level, .children = {parent}};
    auto& top = startPlayer(grandparent);
    // Preorder: parent, target, child.
    ASSERT_EQ(top.report().descendants.size(), 3u);
    DWORD grandparentPid = top.processId();
    DWORD parentPid = top.report().descendants[0];
    DWORD targetPid = top.report().descendants[1];
    DWORD childPid = top.report().descendants[2];
    HWND window = windowOf(targetPid);
    ASSERT_NE(window, nullptr) << "no window of the target found";

    struct Case {
        const char* what;
        DWORD self;
        bool silent;
    };
    const Case cases[] = {
        {"no --self", 0, false},
        {"--self is the target", targetPid, true},
        {"--self is the target's parent", parentPid, true},
        {"--self is the target's grandparent", grandparentPid, true},
        {"--self is the target's child", childPid, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> args = {L"--window", decimal(window)};
        if (c.self != 0) {
            args.insert(args.end(), {L"--self", std::to_wstring(c.self)});
        }
        LONG clientsBefore = fake::snapshotAccounting(control()).audioClientsCreated;
        auto program = startReadyProgram(args);
        listen(*program, 20);
        auto sound = listen(*program, 50);
        if (c.silent) {
            EXPECT_EQ(peakOf(sound), 0.0) << "only silence: no source at all";
            EXPECT_EQ(fake::snapshotAccounting(control()).audioClientsCreated - clientsBefore, 1)
                << "no client but the start-up probe's";
        } else {
            EXPECT_GE(toneLevel(sound, 440), heard);
            EXPECT_GE(toneLevel(sound, 660), heard);
            EXPECT_LT(toneLevel(sound, 550), absent);
            EXPECT_LT(toneLevel(sound, 330), absent);
        }
        program->closeInput();
        EXPECT_EQ(program->waitForExit(exitBoundMs), std::optional<DWORD>(0));
    }
}

}  // namespace
}  // namespace blackbox
