#include "platform/InstanceLock.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

namespace velox {
namespace {

using platform::InstanceLock;
using platform::LockResult;

class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1); }
    test::TempDir dir_;
};

TEST_F(InstanceLockTest, PathIsTheClassNameInTheRuntimeDirectory) {
    EXPECT_EQ(platform::InstanceLockPath("D123987X"), dir_.path() + "/D123987X.lock");
    EXPECT_EQ(platform::InstanceLockPath("a/b"), dir_.path() + "/a_b.lock");
    EXPECT_EQ(platform::InstanceLockPath(""), dir_.path() + "/_.lock");
    // A Shift-JIS class name becomes a UTF-8 file name.
    EXPECT_EQ(platform::InstanceLockPath(test::Sjis("物語").c_str()), dir_.path() + "/物語.lock");
}

TEST_F(InstanceLockTest, WithoutARuntimeDirectoryTheUserIdKeepsUsersApart) {
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::InstanceLockPath("Story"),
              "/tmp/Story-" + std::to_string(getuid()) + ".lock");
}

TEST_F(InstanceLockTest, OneHolderAtATimeUntilReleased) {
    InstanceLock first, second;
    EXPECT_EQ(first.Acquire("Story"), LockResult::Acquired);
    EXPECT_TRUE(first.Held());
    EXPECT_EQ(second.Acquire("Story"), LockResult::HeldElsewhere);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.Acquire("Other"), LockResult::Acquired);
    first.Release();
    EXPECT_FALSE(first.Held());
    EXPECT_EQ(second.Acquire("Story"), LockResult::Acquired); // gives up "Other" first
    InstanceLock third;
    EXPECT_EQ(third.Acquire("Other"), LockResult::Acquired);
}

TEST_F(InstanceLockTest, DestroyingTheHolderReleasesTheLock) {
    {
        InstanceLock holder;
        ASSERT_EQ(holder.Acquire("Story"), LockResult::Acquired);
    }
    InstanceLock next;
    EXPECT_EQ(next.Acquire("Story"), LockResult::Acquired);
}

TEST_F(InstanceLockTest, AMissingDirectoryMakesTheLockUnavailable) {
    ::setenv("XDG_RUNTIME_DIR", (dir_.path() + "/missing").c_str(), 1);
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire("Story"), LockResult::Unavailable);
    EXPECT_FALSE(lock.Held());
}

} // namespace
} // namespace velox
