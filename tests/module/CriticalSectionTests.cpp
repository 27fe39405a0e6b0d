// The one critical section type: recursion on the owning thread, exclusion of
// every other thread, and the deferred initialisation the object roots use.
#include <gtest/gtest.h>

#include <thread>

#include "base/CriticalSection.h"
#include "oplogsys/Lock.h"

namespace {

// Whether another thread could take the section right now.
bool FreeForOtherThread(CRITICAL_SECTION& cs) {
    bool entered = false;
    std::thread([&] {
        entered = ::TryEnterCriticalSection(&cs) != FALSE;
        if (entered) ::LeaveCriticalSection(&cs);
    }).join();
    return entered;
}

TEST(CriticalSection, NestedGuardsHoldItUntilTheOutermostEnds) {
    CriticalSection cs;
    EXPECT_TRUE(cs.IsInitialised());
    {
        CriticalSectionGuard outer(cs);
        EXPECT_FALSE(FreeForOtherThread(cs.Get()));
        {
            CriticalSectionGuard inner(cs);  // same thread: no deadlock
        }
        EXPECT_FALSE(FreeForOtherThread(cs.Get())) << "the inner guard must not release the outer hold";
    }
    EXPECT_TRUE(FreeForOtherThread(cs.Get()));
}

TEST(CriticalSection, DeferredSectionIsInitialisedOnceByTryInit) {
    CriticalSection cs(CriticalSection::kDeferInit);
    EXPECT_FALSE(cs.IsInitialised());
    ASSERT_TRUE(cs.TryInit());
    EXPECT_TRUE(cs.IsInitialised());

    CriticalSectionGuard guard(cs);
    // A second initialisation would wipe the hold above.
    EXPECT_TRUE(cs.TryInit());
    EXPECT_FALSE(FreeForOtherThread(cs.Get()));
}

TEST(CriticalSection, LoggingLockIsTheSameRecursiveSection) {
    opLogSys::Common::CCriticalSection cs;
    opLogSys::ILockObject& lock = cs;
    EXPECT_EQ(1, lock.Lock());
    EXPECT_EQ(1, lock.Lock());
    EXPECT_EQ(0, lock.Unlock());
    EXPECT_FALSE(FreeForOtherThread(cs.Get()));
    EXPECT_EQ(0, lock.Unlock());
    EXPECT_TRUE(FreeForOtherThread(cs.Get()));
    {
        opLogSys::Common::CLockGuard<opLogSys::Common::CCriticalSection> guard(cs);
        EXPECT_FALSE(FreeForOtherThread(cs.Get()));
    }
    EXPECT_TRUE(FreeForOtherThread(cs.Get()));
}

}  // namespace
