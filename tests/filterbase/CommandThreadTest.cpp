// The command thread: replies come back to the caller, a command that
// interrupts work stays posted for the command loop, and the thread can be
// started again after it ended (a filter starts one on every Pause).
#include <gtest/gtest.h>

#include "standins/filterbase/CommandThread.h"

namespace {

enum : DWORD { kWork = 1, kExit = 2 };

// Replies to kWork at once and then works until the next command; other
// commands are answered with twice their value.
DWORD WINAPI CommandLoop(void* param) {
    auto* thread = static_cast<CCommandThread*>(param);
    for (;;) {
        const DWORD command = thread->GetRequest();
        if (command == kExit) {
            thread->Reply(0);
            return 0;
        }
        if (command != kWork) {
            thread->Reply(command * 2);
            continue;
        }
        thread->Reply(1);
        DWORD next = 0;
        while (!thread->CheckRequest(&next)) ::SwitchToThread();  // one unit of work per turn
        // Left posted: the loop's GetRequest takes it.
    }
}

TEST(CommandThread, CommandsReachTheLoopAndTheThreadStartsAgain) {
    CCommandThread thread;
    EXPECT_EQ(DWORD(E_UNEXPECTED), thread.Call(21));  // no thread yet

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(S_OK, thread.Start(&CommandLoop, &thread));
        EXPECT_TRUE(thread.IsRunning());
        EXPECT_EQ(E_UNEXPECTED, thread.Start(&CommandLoop, &thread));
        EXPECT_EQ(42u, thread.Call(21));
        EXPECT_EQ(1u, thread.Call(kWork));
        EXPECT_EQ(10u, thread.Call(5));  // interrupts the work
        EXPECT_EQ(0u, thread.Call(kExit));
        thread.Join();
        EXPECT_FALSE(thread.IsRunning());
    }
}

}  // namespace
