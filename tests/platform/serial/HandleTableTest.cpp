#include "platform/serial/HandleTable.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct TItem {
    std::atomic<int> Inside{0}; // callers between their look-up and letting go
};
using TTable = THandleTable<TItem>;

TEST(HandleTable, StaleAndForeignHandlesNameNothing) {
    TTable table;
    const std::int64_t first = table.Add(std::make_shared<TItem>());
    ASSERT_GT(first, 0);
    EXPECT_TRUE(table.Find(first));
    ASSERT_TRUE(table.Remove(first, [](TItem&) {}));
    // The slot is used again under a new generation: the old handle must not reach its item.
    const std::int64_t second = table.Add(std::make_shared<TItem>());
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    for (const std::int64_t handle : {first, std::int64_t{0}, std::int64_t{-1}, second + 1,
                                      std::int64_t{INT64_MAX}, second ^ (std::int64_t{1} << 40)}) {
        EXPECT_FALSE(table.Find(handle)) << handle;
        EXPECT_FALSE(table.Remove(handle, [](TItem&) {})) << handle;
    }
    EXPECT_TRUE(table.Find(second));
    EXPECT_TRUE(table.Remove(second, [](TItem&) {}));
    EXPECT_FALSE(table.Remove(second, [](TItem&) {}));
}

TEST(HandleTable, FullTableRefusesUntilASlotIsFreed) {
    TTable table;
    std::vector<std::int64_t> handles;
    for (std::size_t i = 0; i < TTable::Slots; ++i) {
        handles.push_back(table.Add(std::make_shared<TItem>()));
        ASSERT_GT(handles.back(), 0);
    }
    EXPECT_EQ(table.Add(std::make_shared<TItem>()), 0);
    ASSERT_TRUE(table.Remove(handles[7], [](TItem&) {}));
    EXPECT_GT(table.Add(std::make_shared<TItem>()), 0);
}

// Callers look the handle up and use the item while another thread removes it: from the start of
// the close nobody finds it, and once Remove has returned nobody is inside any more.
TEST(HandleTable, RemoveWaitsForCallersAndLetsNoNewOneIn) {
    TTable table;
    for (int round = 0; round < 50; ++round) {
        auto item = std::make_shared<TItem>();
        const std::int64_t handle = table.Add(item);
        std::atomic<int> started{0};
        std::vector<std::thread> callers;
        for (int t = 0; t < 3; ++t)
            callers.emplace_back([&] {
                ++started;
                for (;;) {
                    auto ref = table.Find(handle);
                    if (!ref)
                        return;
                    ref->Inside.fetch_add(1);
                    std::this_thread::yield();
                    ref->Inside.fetch_sub(1);
                }
            });
        while (started.load() < 3)
            std::this_thread::yield();
        bool foundWhileClosing = true;
        auto removed =
            table.Remove(handle, [&](TItem&) { foundWhileClosing = bool(table.Find(handle)); });
        EXPECT_FALSE(foundWhileClosing);
        ASSERT_EQ(removed, item);
        EXPECT_EQ(item->Inside.load(), 0);
        for (auto& c : callers)
            c.join();
        EXPECT_FALSE(table.Find(handle));
    }
}

} // namespace
