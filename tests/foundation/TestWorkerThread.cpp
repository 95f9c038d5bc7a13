#include "WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

TEST(WorkerThread, RunsJobsInOrderOnOneThreadAndFinishesThemBeforeItEnds)
{
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    {
        WorkerThread worker;
        for (int i = 0; i < 50; ++i)
            worker.Post([&, i] {
                if (i == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        // Destroyed with most jobs still queued: every one of them runs.
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    for (const auto& id : threads)
        EXPECT_EQ(id, threads.front()) << "one thread for all";
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(WorkerThread, WaitIdleReturnsOnceTheJobsAndWhatTheyHeldAreGone)
{
    WorkerThread worker;
    worker.WaitIdle(); // nothing posted: returns at once
    auto held = std::make_shared<int>(7);
    std::weak_ptr<int> watch = held;
    std::atomic<int> ran{0};
    worker.Post([held = std::move(held), &ran] { ran += *held; });
    worker.WaitIdle();
    EXPECT_EQ(ran.load(), 7);
    EXPECT_TRUE(watch.expired()) << "the job's captures are released before it counts as done";
}
