#include "common/wide_string_list.h"

#include <gtest/gtest.h>

using common::TWideStringList;

TEST(WideStringList, EditingOperations) {
  TWideStringList list;
  EXPECT_EQ(list.Add(u"a"), 0);
  EXPECT_EQ(list.Add(u"б"), 1);
  list.Insert(1, u"c");
  list.Set(0, u"z");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], u"z");
  EXPECT_EQ(list[1], u"c");
  EXPECT_EQ(list.IndexOf(u"б"), 2);
  list.Delete(1);
  EXPECT_EQ(list.IndexOf(u"c"), -1);
  TWideStringList copy;
  copy.Assign(list);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_THROW(copy.Get(2), std::out_of_range);
  EXPECT_THROW(copy.Get(-1), std::out_of_range);
  EXPECT_THROW(copy.Insert(4, u"x"), std::out_of_range);
}
