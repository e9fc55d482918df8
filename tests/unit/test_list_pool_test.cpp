#include "coverage/test_list_pool.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TestListPool, EveryListGrowsThroughOneSeries) {
  std::vector<std::uint32_t> series;
  for (std::uint32_t capacity = 0; series.size() < 16;)
    series.push_back(capacity = TestListPool::nextCapacity(capacity));
  EXPECT_EQ(series, (std::vector<std::uint32_t>{16, 32, 48, 72, 108, 160, 240, 360, 540, 808,
                                                1212, 1816, 2724, 4084, 6124, 9184}));
}

// Lists grown at different paces, some past the pooled sizes, some given
// back and their blocks taken again: no list may ever lose or share an entry.
TEST(TestListPool, ListsKeepTheirEntriesWhileBlocksAreReused) {
  struct List {
    TestNumber *tests = nullptr;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;
  };
  TestListPool pool;
  std::vector<List> lists(60);
  const auto append = [&](std::size_t which, TestNumber test) {
    List &list = lists[which];
    if (list.count == list.capacity) list.tests = pool.grow(list.tests, list.capacity);
    list.tests[list.count++] = test;
  };
  const auto expectIntact = [&] {
    for (std::size_t which = 0; which < lists.size(); ++which)
      for (std::uint32_t i = 0; i < lists[which].count; ++i)
        ASSERT_EQ(lists[which].tests[i], which * 100000 + i) << "list " << which;
  };

  for (TestNumber round = 0; round < 6000; ++round)
    for (std::size_t which = 0; which < lists.size(); ++which)
      if (round % (which % 7 + 1) == 0 && (which < 5 || lists[which].count < 500))
        append(which, static_cast<TestNumber>(which * 100000 + lists[which].count));
  expectIntact();
  EXPECT_GT(lists[0].capacity, 808u);  // past the pooled sizes

  // A block given back is the next one handed out for its size.
  List &given = lists[59];
  TestNumber *const block = given.tests;
  const std::uint32_t capacity = given.capacity;
  pool.release(given.tests, given.capacity);
  given = List{};
  List fresh;
  while (fresh.capacity < capacity) fresh.tests = pool.grow(fresh.tests, fresh.capacity);
  EXPECT_EQ(fresh.tests, block);
  pool.release(fresh.tests, fresh.capacity);

  for (std::size_t which = 50; which < 59; ++which) {
    pool.release(lists[which].tests, lists[which].capacity);
    lists[which] = List{};
  }
  for (TestNumber round = 0; round < 700; ++round)
    for (std::size_t which = 45; which < lists.size(); ++which)
      append(which, static_cast<TestNumber>(which * 100000 + lists[which].count));
  expectIntact();
  for (List &list : lists) pool.release(list.tests, list.capacity);
}
