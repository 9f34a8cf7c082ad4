#include "base/list_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tavrin::base {
namespace {

ListStore::Cells row(const std::string& number)
{
    return {number, "http://x/" + number, "?"};
}

TEST(ListStore, OutOfRangeAccessIsHarmless)
{
    ListStore store;
    store.appendRow(row("1"));
    EXPECT_EQ(store.cell(-1, 1), "");
    EXPECT_EQ(store.cell(1, 1), "");
    EXPECT_EQ(store.cell(0, 3), "");
    EXPECT_FALSE(store.setCell(1, 2, "x"));
    EXPECT_FALSE(store.setCell(-1, 2, "x"));
    EXPECT_FALSE(store.deleteRow(-1));
    EXPECT_EQ(store.rowCount(), 1);
}

TEST(ListStore, SelectionFollowsDeletions)
{
    ListStore store;
    for (int i = 0; i < 4; ++i)
        store.appendRow(row(std::to_string(i)));
    store.setSelection(2);
    store.deleteRow(0);
    EXPECT_EQ(store.selection(), 1);
    EXPECT_EQ(store.cell(1, 0), "2");
    store.deleteRow(3 - 1);
    EXPECT_EQ(store.selection(), 1);
    store.deleteRow(1);
    EXPECT_EQ(store.selection(), -1);
    store.setSelection(7);
    EXPECT_EQ(store.selection(), -1);
}

TEST(ListStore, ChangesAreCoalescedUntilTaken)
{
    ListStore store;
    int wakeUps = 0;
    store.setObserver([&] { ++wakeUps; });
    for (int i = 0; i < 100; ++i)
        store.appendRow(row(std::to_string(i)));
    store.setCell(5, 2, "a");
    store.setCell(40, 2, "b");
    EXPECT_EQ(wakeUps, 1);

    ListStore::Changes changes = store.takeChanges();
    EXPECT_FALSE(changes.reset);
    EXPECT_EQ(changes.rowCount, 100);
    EXPECT_EQ(changes.firstDirty, 5);
    EXPECT_EQ(changes.lastDirty, 40);

    store.deleteRow(3);
    EXPECT_EQ(wakeUps, 2);
    changes = store.takeChanges();
    EXPECT_TRUE(changes.reset);
    EXPECT_EQ(changes.rowCount, 99);

    changes = store.takeChanges();
    EXPECT_FALSE(changes.reset);
    EXPECT_GT(changes.firstDirty, changes.lastDirty);
}

TEST(ListStore, ConcurrentAppendsAndWritesKeepEveryRowWhole)
{
    ListStore store;
    std::atomic<int> wakeUps{0};
    store.setObserver([&] { wakeUps.fetch_add(1); });
    constexpr int kThreads = 8;
    constexpr int kRowsEach = 2000;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < kRowsEach; ++i) {
                const std::string tag = std::to_string(t) + ":" + std::to_string(i);
                const int index = store.appendRow({tag, "u" + tag, "?"});
                store.setCell(index, 2, "m" + tag);
            }
        });
    }
    // A reader taking changes meanwhile, as the window does.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load())
            (void)store.takeChanges();
    });
    for (std::thread& thread : threads)
        thread.join();
    stop = true;
    reader.join();

    ASSERT_EQ(store.rowCount(), kThreads * kRowsEach);
    for (const ListStore::Row& r : store.rows()) {
        EXPECT_EQ(r.cells[1], "u" + r.cells[0]);
        EXPECT_EQ(r.cells[2], "m" + r.cells[0]);
    }
}

} // namespace
} // namespace tavrin::base
