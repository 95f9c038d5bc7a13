#include "MemoryTuning.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PIXLET_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PIXLET_OWN_ALLOCATOR 1
#endif
#endif

namespace {

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Allocates a working set of still-sized blocks, touches every page and frees it all again,
// as a capture or cycle thread does with its frames.
void UseWorkingSet(int blocks, std::size_t blockBytes)
{
    std::vector<char*> held;
    for (int i = 0; i < blocks; ++i) {
        auto* block = static_cast<char*>(std::malloc(blockBytes));
        ASSERT_NE(block, nullptr);
        std::memset(block, i + 1, blockBytes);
        held.push_back(block);
    }
    for (char* block : held)
        std::free(block);
}

} // namespace

// This program runs on its own, so the heap is as the program finds it at start-up.
TEST(MemoryTuning, ThreadsTakingTurnsWithStillsKeepOneWorkingSetNotOneEach)
{
#ifdef PIXLET_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator ignores the C library's tuning";
#endif
    KeepImageBuffersInHeap();
    constexpr int Threads = 6;
    constexpr int Blocks = 24;
    constexpr std::size_t BlockBytes = 1024 * 1024;
    const long before = ResidentKb();

    // Each thread takes its turn with the working set while the earlier ones are still alive,
    // as a camera's new streaming threads start before the old ones have ended.
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0;
    bool release = false;
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i)
        threads.emplace_back([&, i] {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return turn == i; });
            lock.unlock();
            UseWorkingSet(Blocks, BlockBytes);
            lock.lock();
            ++turn;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
        });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return turn == Threads; });
    }
    const long after = ResidentKb();
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    for (auto& thread : threads)
        thread.join();

    const long workingSetKb = Blocks * static_cast<long>(BlockBytes / 1024);
    ASSERT_GT(before, 0);
    EXPECT_LT(after - before, 2 * workingSetKb)
        << "resident " << before / 1024 << " MB -> " << after / 1024 << " MB for " << Threads
        << " threads each using " << workingSetKb / 1024 << " MB in turn";
}
