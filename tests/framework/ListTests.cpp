#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "tests/framework/TestObjects.h"

namespace {

int Tag(std::intptr_t n) {
  return static_cast<int>(n);
}

std::vector<int> Contents(const TList& list) {
  std::vector<int> result;
  for (std::int32_t i = 0; i < list.Count(); ++i)
    result.push_back(Tag(reinterpret_cast<std::intptr_t>(list.Get(i))));
  return result;
}

void* P(std::intptr_t n) {
  return reinterpret_cast<void*>(n);
}

TEST(ListTest, InsertAndDeleteKeepOrder) {
  TList list;
  list.Add(P(1));
  list.Add(P(3));
  list.Insert(1, P(2));
  list.Insert(0, P(0));
  list.Insert(4, P(4));  // at Count: appends
  EXPECT_EQ(Contents(list), (std::vector<int>{0, 1, 2, 3, 4}));
  list.Delete(0);
  list.Delete(3);
  list.Delete(1);
  EXPECT_EQ(Contents(list), (std::vector<int>{1, 3}));
}

TEST(ListTest, MoveForwardAndBackward) {
  TList list;
  for (int i = 0; i < 5; ++i) list.Add(P(i));
  list.Move(0, 3);
  EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3, 0, 4}));
  list.Move(4, 1);
  EXPECT_EQ(Contents(list), (std::vector<int>{1, 4, 2, 3, 0}));
  list.Exchange(0, 4);
  EXPECT_EQ(Contents(list), (std::vector<int>{0, 4, 2, 3, 1}));
}

TEST(ListTest, GrowsPastManyItems) {
  TList list;
  for (int i = 0; i < 1000; ++i) list.Add(P(i));
  ASSERT_EQ(list.Count(), 1000);
  EXPECT_GE(list.Capacity(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(list.Get(i), P(i));
  EXPECT_EQ(list.IndexOf(P(999)), 999);
  EXPECT_EQ(list.IndexOf(P(1000)), -1);
}

TEST(ListTest, IndexErrorsNameTheIndex) {
  TList list;
  list.Add(P(1));
  try {
    list.Get(1);
    FAIL() << "no error";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Delete(1), EListError);
  EXPECT_THROW(list.Insert(2, P(2)), EListError);
  EXPECT_THROW(list.Exchange(0, 1), EListError);
  EXPECT_THROW(list.Move(0, 1), EListError);
  EXPECT_THROW(TList().First(), EListError);
  EXPECT_EQ(list.Count(), 1);
}

TEST(ObjectListTest, OwnedObjectsFreedOnDeleteRemoveClearAndDestruction) {
  int freed = 0;
  {
    TObjectList list(true);
    for (int i = 0; i < 5; ++i) list.Add(new TTracked(&freed));
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    list.Remove(list.Items(0));
    EXPECT_EQ(freed, 2);
    list.Put(0, new TTracked(&freed));  // the replaced one is freed
    EXPECT_EQ(freed, 3);
    list.Clear();
    EXPECT_EQ(freed, 6);
    EXPECT_EQ(list.Count(), 0);
    list.Add(new TTracked(&freed));
    list.Add(new TTracked(&freed));
  }
  EXPECT_EQ(freed, 8);
}

TEST(ObjectListTest, ExtractHandsOverWithoutFreeing) {
  int freed = 0;
  TTracked* kept = new TTracked(&freed);
  {
    TObjectList list(true);
    list.Add(new TTracked(&freed));
    list.Add(kept);
    EXPECT_EQ(list.Extract(kept), kept);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Extract(kept), nullptr);
    EXPECT_EQ(freed, 0);
  }
  EXPECT_EQ(freed, 1);
  delete kept;
  EXPECT_EQ(freed, 2);
}

TEST(ObjectListTest, MoveAndExchangeFreeNothing) {
  int freed = 0;
  TObjectList list(true);
  for (int i = 0; i < 3; ++i) list.Add(new TTracked(&freed));
  TObject* first = list.Items(0);
  list.Move(0, 2);
  list.Exchange(0, 1);
  EXPECT_EQ(freed, 0);
  EXPECT_EQ(list.Items(2), first);
}

TEST(ObjectListTest, NotOwningFreesNothing) {
  int freed = 0;
  TTracked a(&freed), b(&freed);
  {
    TObjectList list(false);
    list.Add(&a);
    list.Add(&b);
    list.Delete(0);
    list.Clear();
    list.Add(&a);
  }
  EXPECT_EQ(freed, 0);
}

}  // namespace
