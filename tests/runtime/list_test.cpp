#include "tarn/runtime/list.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tarn/runtime/stacked_string.hpp"

namespace {

// The values head to tail, and checks that walking back from the tail gives the same
// items and that the count agrees.
template <class T>
std::vector<T> walk(const TARNList<T>& list) {
    std::vector<T> forward;
    for (auto* item = list.Head(); item; item = item->Next()) forward.push_back(item->Value());
    std::vector<T> backward;
    for (auto* item = list.Tail(); item; item = item->Prev())
        backward.insert(backward.begin(), item->Value());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(static_cast<int>(forward.size()), list.Count());
    if (list.Head()) {
        EXPECT_EQ(list.Head()->Prev(), nullptr);
        EXPECT_EQ(list.Tail()->Next(), nullptr);
    }
    return forward;
}

using Ints = std::vector<int>;

}  // namespace

TEST(List, PushBackKeepsOrderHeadAndTail) {
    TARNList<int> list;
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);
    EXPECT_EQ(list.Count(), 0);
    list.PushBack(1);
    EXPECT_EQ(list.Head(), list.Tail());
    list.PushBack(2);
    list.PushBack(3);
    EXPECT_EQ(walk(list), (Ints{1, 2, 3}));
}

TEST(List, InsertBeforeAndAfterAtEveryPosition) {
    TARNList<int> list;
    auto* two = list.PushBack(2);
    list.InsertBefore(two, 1);  // new head
    list.InsertAfter(two, 4);   // new tail
    list.InsertAfter(two, 3);   // middle
    list.InsertBefore(list.Tail(), 35);
    list.PushFront(0);
    EXPECT_EQ(walk(list), (Ints{0, 1, 2, 3, 35, 4}));
    EXPECT_EQ(list.Head()->Value(), 0);
    EXPECT_EQ(list.Tail()->Value(), 4);
}

TEST(List, UnlinkHeadMiddleTailAndLastItem) {
    TARNList<int> list;
    auto* one = list.PushBack(1);
    auto* two = list.PushBack(2);
    auto* three = list.PushBack(3);
    auto* four = list.PushBack(4);

    std::unique_ptr<TARNListItem<int>> middle(list.Unlink(two));
    EXPECT_EQ(middle->Next(), nullptr);
    EXPECT_EQ(middle->Prev(), nullptr);
    EXPECT_EQ(walk(list), (Ints{1, 3, 4}));

    list.Remove(one);
    EXPECT_EQ(walk(list), (Ints{3, 4}));
    list.Remove(four);
    EXPECT_EQ(walk(list), (Ints{3}));
    list.Remove(three);
    EXPECT_EQ(walk(list), Ints{});
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);

    // An unlinked item can join another list.
    TARNList<int> other;
    other.PushBack(9);
    other.LinkFront(middle.release());
    EXPECT_EQ(walk(other), (Ints{2, 9}));
}

TEST(List, PointerListsNeverDeleteThePointedObjects) {
    auto value = std::make_shared<int>(5);
    {
        TARNList<std::shared_ptr<int>> copies;
        copies.PushBack(value);
        EXPECT_EQ(value.use_count(), 2);
    }
    EXPECT_EQ(value.use_count(), 1);  // the item's value was destroyed with the item

    int object = 7;
    {
        TARNList<int*> pointers;
        pointers.PushBack(&object);
    }  // a stack object: deleting it would be caught by AddressSanitizer
    EXPECT_EQ(object, 7);
}

TEST(List, CopyIsDeepAndMoveEmptiesTheSource) {
    TARNList<TARNStackedString<40>> names;
    names.PushBack("alpha");
    names.PushBack(std::string(50, 'b').c_str());

    TARNList<TARNStackedString<40>> copy(names);
    copy.Head()->Value() = "changed";
    EXPECT_TRUE(names.Head()->Value() == "alpha");
    EXPECT_EQ(copy.Count(), 2);

    TARNList<TARNStackedString<40>> moved(std::move(copy));
    EXPECT_EQ(moved.Count(), 2);
    EXPECT_EQ(copy.Count(), 0);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(copy.Head(), nullptr);

    moved = names;
    EXPECT_TRUE(moved.Head()->Value() == "alpha");
    EXPECT_EQ(moved.Count(), 2);
}

TEST(List, FindAndRangeForVisitHeadToTail) {
    TARNList<int> list;
    for (int v : {5, 6, 7, 6}) list.PushBack(v);
    EXPECT_EQ(list.Find(6), list.Head()->Next());
    EXPECT_EQ(list.Find(8), nullptr);
    Ints seen;
    for (int v : list) seen.push_back(v);
    EXPECT_EQ(seen, (Ints{5, 6, 7, 6}));
}
