// The mailbox that carries the ends of transfers to the owner's thread in
// batches: nothing lost, each worker's order kept, one batch for what
// arrived while the owner was busy.
#include "http/OwnerMailbox.h"
#include "EventLoop.h"

#include <gtest/gtest.h>

#include <QThread>

#include <memory>
#include <thread>
#include <vector>

TEST(OwnerMailbox, WhatArrivesWhileTheOwnerIsBusyRunsInOneBatchInOrder) {
    OwnerMailbox box;
    int batches = 0;
    box.AfterBatch = [&] {
        EXPECT_FALSE(box.InBatch());
        ++batches;
    };
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::vector<int>> seen(kThreads);
    int wrongThread = 0;
    QThread* const owner = QThread::currentThread();
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                box.Post([&, t, i] {
                    if (QThread::currentThread() != owner || !box.InBatch()) ++wrongThread;
                    seen[std::size_t(t)].push_back(i);
                });
        });
    for (auto& w : workers)
        w.join(); // the owner's loop has not run meanwhile
    ASSERT_TRUE(RunUntil([&] { return batches > 0; }));
    RunFor(50);
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(wrongThread, 0);
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), std::size_t(kEach));
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(s[std::size_t(i)], i);
    }
}

TEST(OwnerMailbox, PostedDuringABatchRunsInTheNextOne) {
    OwnerMailbox box;
    std::vector<int> order;
    int batches = 0;
    box.AfterBatch = [&] { order.push_back(100 + ++batches); };
    box.Post([&] {
        order.push_back(1);
        box.Post([&] { order.push_back(2); });
    });
    ASSERT_TRUE(RunUntil([&] { return batches == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 101, 2, 102}));
}

TEST(OwnerMailbox, WhatIsLeftWhenItGoesAwayNeverRuns) {
    bool ran = false;
    auto box = std::make_unique<OwnerMailbox>();
    std::thread([&] { box->Post([&] { ran = true; }); }).join();
    box.reset();
    RunFor(50);
    EXPECT_FALSE(ran);
}
