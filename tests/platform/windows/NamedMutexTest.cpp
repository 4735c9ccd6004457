// The lock that marks a running copy is a named mutex on Windows; the probe makes it for a
// moment and never keeps it.
#include <gtest/gtest.h>

#include <thread>

#include "platform/NamedLock.h"
#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

bool mutexExists(const std::string& name) {
    HANDLE h = ::OpenMutexW(SYNCHRONIZE, FALSE, win::widen(name).c_str());
    if (h == nullptr) return false;
    ::CloseHandle(h);
    return true;
}

TEST(NamedMutex, ProbeSeesAHolderAndLeavesNothingBehind) {
    const std::string name = "SVT-APP-MT-test-" + std::to_string(::GetCurrentProcessId());
    EXPECT_FALSE(namedLockHeld(name));
    EXPECT_FALSE(mutexExists(name)) << "the probe keeps no mutex";
    EXPECT_FALSE(namedLockHeld(name)) << "two probes one after the other";
    {
        auto held = NamedLock::acquire(name);
        ASSERT_NE(held, nullptr);
        EXPECT_TRUE(mutexExists(name));
        EXPECT_TRUE(namedLockHeld(name));
        EXPECT_EQ(NamedLock::acquire(name), nullptr);
        // Another thread sees it the same way another process would.
        bool seen = false;
        std::thread([&] { seen = namedLockHeld(name); }).join();
        EXPECT_TRUE(seen);
    }
    EXPECT_FALSE(mutexExists(name)) << "the mutex goes with its holder";
    EXPECT_FALSE(namedLockHeld(name));
}

TEST(NamedMutex, AMutexOfAnotherProgramCounts) {
    // Made by hand, without our lock, as another program would.
    const std::string name = "SVT-APP-MT-other-" + std::to_string(::GetCurrentProcessId());
    HANDLE other = ::CreateMutexW(nullptr, FALSE, win::widen(name).c_str());
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(namedLockHeld(name));
    ::CloseHandle(other);
    EXPECT_FALSE(namedLockHeld(name));
}

}  // namespace
}  // namespace svt::platform
