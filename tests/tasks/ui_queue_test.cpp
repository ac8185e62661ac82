// The worker-to-UI queue under the task table's reports and the hidden browser.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "base/UiQueue.h"
#include "tests/support/QtTestEnv.h"

using namespace tamsel;

namespace {

TEST(UiQueueTest, DeliversEveryThreadsItemsInOrderOnTheOwningThread) {
    constexpr int kThreads = 4;
    constexpr int kItems = 500;
    const std::thread::id owner = std::this_thread::get_id();
    std::vector<std::pair<int, int>> got;
    bool offThread = false;
    CUiQueue<std::pair<int, int>> queue([&](std::pair<int, int> item) {
        offThread = offThread || std::this_thread::get_id() != owner;
        got.push_back(item);
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&queue, t] {
            for (int i = 0; i < kItems; ++i) {
                queue.Post({t, i});
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    ASSERT_TRUE(testsupport::WaitForEvents(
        [&] { return got.size() == static_cast<size_t>(kThreads * kItems); }, 5000));
    EXPECT_FALSE(offThread);
    std::vector<int> next(kThreads, 0);
    for (const auto& [thread, index] : got) {
        EXPECT_EQ(index, next[thread]) << "thread " << thread;
        next[thread] = index + 1;
    }
}

TEST(UiQueueTest, NothingArrivesOnceTheQueueIsGone) {
    int delivered = 0;
    auto queue = std::make_unique<CUiQueue<int>>([&](int) { ++delivered; });
    queue->Post(1);
    queue->Post(2);
    queue.reset();  // its wake-up is still pending in the event loop
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);

    // A delivery that destroys the queue ends the round: the rest is dropped.
    std::unique_ptr<CUiQueue<int>> self;
    self = std::make_unique<CUiQueue<int>>([&](int) {
        ++delivered;
        self.reset();
    });
    for (int i = 0; i < 3; ++i) {
        self->Post(i);
    }
    ASSERT_TRUE(testsupport::WaitForEvents([&] { return self == nullptr; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 1);
}

}  // namespace
