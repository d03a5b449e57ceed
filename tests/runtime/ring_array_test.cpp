#include "tarn/runtime/ring_array.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tarn/runtime/stacked_string.hpp"

namespace {

template <class T>
std::vector<T> elements(const TARNArray<T>& array) {
    std::vector<T> out;
    for (int i = 0; i < array.Size(); ++i) out.push_back(array[i]);
    return out;
}

using Longs = std::vector<long>;

}  // namespace

struct GrowthCase {
    int index;
    int capacity;
};

std::string CaseName(const GrowthCase& c) {
    return "Index" + std::to_string(c.index);
}
// Test names (and the names CTest gives them) show the case, not the bytes of the struct.
void PrintTo(const GrowthCase& c, std::ostream* os) {
    *os << CaseName(c);
}

class RingArrayIndexing : public ::testing::TestWithParam<GrowthCase> {};

TEST_P(RingArrayIndexing, GrowsToTheSmallestPowerOfTwoAboveTheIndex) {
    TARNArray<long> array;
    array(GetParam().index) = 42;
    EXPECT_EQ(array.Capacity(), GetParam().capacity);
    EXPECT_EQ(array.Size(), GetParam().index + 1);
    EXPECT_EQ(array[GetParam().index], 42);
}

INSTANTIATE_TEST_SUITE_P(Indexes, RingArrayIndexing,
                         ::testing::Values(GrowthCase{0, 1}, GrowthCase{1, 2}, GrowthCase{2, 4},
                                           GrowthCase{3, 4}, GrowthCase{4, 8}, GrowthCase{7, 8},
                                           GrowthCase{8, 16}, GrowthCase{1000, 1024}),
                         [](const auto& info) { return CaseName(info.param); });

TEST(RingArray, IndexingWithinTheCapacityOnlyRaisesTheSize) {
    TARNArray<long> array;
    array(0) = 10;
    EXPECT_EQ(array.Capacity(), 1);
    EXPECT_EQ(array.Size(), 1);
    array(4) = 14;
    EXPECT_EQ(array.Capacity(), 8);
    EXPECT_EQ(array.Size(), 5);
    EXPECT_EQ(array[0], 10);  // kept through growth
    array(6) = 16;            // fits: no reallocation
    EXPECT_EQ(array.Capacity(), 8);
    EXPECT_EQ(array.Size(), 7);
    array(2) = 12;  // below the size: nothing but the element changes
    EXPECT_EQ(array.Size(), 7);
    EXPECT_EQ(array[4], 14);
}

TEST(RingArray, NegativeIndexIsRefused) {
    TARNArray<int> array;
    EXPECT_THROW(array(-1), std::out_of_range);
    EXPECT_EQ(array.Size(), 0);
}

// The capacity is an int: doubling past 2^30 would overflow (and loop for ever, the
// doubling reaching INT_MIN and then 0), so growth beyond it is refused before anything
// is allocated.
TEST(RingArray, CapacityStopsAtTwoToTheThirtieth) {
    EXPECT_EQ(TARNArray<long>::CapacityFor(0), 1);
    EXPECT_EQ(TARNArray<long>::CapacityFor((1 << 29) - 1), 1 << 29);
    EXPECT_EQ(TARNArray<long>::CapacityFor(1 << 29), 1 << 30);
    EXPECT_EQ(TARNArray<long>::CapacityFor((1 << 30) - 1), 1 << 30);
    EXPECT_EQ(TARNArray<long>::MaxCapacity, 1 << 30);
    for (int index : {1 << 30, (1 << 30) + 1, INT_MAX}) {
        EXPECT_THROW(TARNArray<long>::CapacityFor(index), std::length_error) << index;
    }
}

TEST(RingArray, GrowthBeyondTheLargestCapacityThrowsAndChangesNothing) {
    TARNArray<long> indexed;
    indexed.PushBack(1);
    for (int index : {1 << 30, INT_MAX}) {
        EXPECT_THROW(indexed(index), std::length_error) << index;
    }
    EXPECT_EQ(elements(indexed), (Longs{1}));
    EXPECT_EQ(indexed.Capacity(), 1);

    // A full array of 2^30 elements, without 8 GiB behind it: foreign storage that claims
    // them is enough, since the push must fail before it reads or allocates anything.
    long storage[1] = {5};
    TARNArray<long> full(storage, TARNArray<long>::MaxCapacity, TARNArray<long>::MaxCapacity, 0);
    EXPECT_THROW(full.PushBack(6), std::length_error);
    EXPECT_EQ(full.Size(), TARNArray<long>::MaxCapacity);
    EXPECT_FALSE(full.OwnsStorage());
    EXPECT_EQ(storage[0], 5);
}

TEST(RingArray, PushBackDoublesWhenFull) {
    TARNArray<long> array;
    std::vector<int> capacities;
    for (long v = 0; v < 9; ++v) {
        array.PushBack(v);
        capacities.push_back(array.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{1, 2, 4, 4, 8, 8, 8, 8, 16}));
    EXPECT_EQ(elements(array), (Longs{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

// A start moved by PopFront wraps the elements around the end of the storage; growth
// must copy them out in element order and put start back at 0.
TEST(RingArray, GrowthWithAMovedStartKeepsTheOrder) {
    TARNArray<long> array;
    for (long v = 0; v < 8; ++v) array.PushBack(v);
    for (int i = 0; i < 5; ++i) array.PopFront();
    for (long v = 8; v < 13; ++v) array.PushBack(v);  // slots 0..4 reused behind start 5
    EXPECT_EQ(array.Start(), 5);
    EXPECT_EQ(array.Capacity(), 8);
    EXPECT_EQ(elements(array), (Longs{5, 6, 7, 8, 9, 10, 11, 12}));

    array.PushBack(13);  // full: grows
    EXPECT_EQ(array.Start(), 0);
    EXPECT_EQ(array.Capacity(), 16);
    EXPECT_EQ(elements(array), (Longs{5, 6, 7, 8, 9, 10, 11, 12, 13}));

    TARNArray<long> indexed;
    for (long v = 0; v < 4; ++v) indexed.PushBack(v);
    indexed.PopFront();
    indexed.PopFront();
    indexed.PushBack(4);
    indexed.PushBack(5);  // start 2, elements 2 3 4 5 in slots 2 3 0 1
    indexed(6) = 8;       // grows by indexing
    EXPECT_EQ(indexed.Start(), 0);
    EXPECT_EQ(indexed.Size(), 7);
    EXPECT_EQ(indexed[0], 2);
    EXPECT_EQ(indexed[3], 5);
    EXPECT_EQ(indexed[6], 8);
}

// The pushed value may live in the storage that growth releases: it must be read first
// (AddressSanitizer reports the use after free otherwise).
TEST(RingArray, PushBackOfItsOwnElementSurvivesGrowth) {
    TARNArray<long> numbers;
    numbers.PushBack(7);
    numbers.PushBack(numbers[0]);  // full at capacity 1: grows
    numbers.PushBack(numbers[1]);  // full at capacity 2: grows
    EXPECT_EQ(elements(numbers), (Longs{7, 7, 7}));

    TARNArray<TARNStackedString<40>> names;
    names.PushBack(std::string(50, 'h').c_str());  // heap text
    names.PushBack(names[0]);
    ASSERT_EQ(names.Size(), 2);
    EXPECT_EQ(names[1].Length(), 50);
    EXPECT_EQ(names[0].Length(), 50) << "the source element is copied, not moved from";
}

TEST(RingArray, ForeignStorageIsCopiedOnGrowthAndNeverReleased) {
    long storage[4] = {30, 0, 10, 20};  // elements 10 20 30 from slot 2
    {
        TARNArray<long> wrapped(storage, 4, 3, 2);
        EXPECT_FALSE(wrapped.OwnsStorage());
        EXPECT_EQ(elements(wrapped), (Longs{10, 20, 30}));
        wrapped(1) = 21;  // within the size: written in place
        EXPECT_EQ(storage[3], 21);

        wrapped(3) = 40;  // beyond the size, though within the capacity: copies out
        EXPECT_TRUE(wrapped.OwnsStorage());
        EXPECT_EQ(wrapped.Capacity(), 4);
        EXPECT_EQ(wrapped.Start(), 0);
        EXPECT_EQ(elements(wrapped), (Longs{10, 21, 30, 40}));
        wrapped(0) = 11;
    }  // the destructor releases only its own copy (a stack array would trip AddressSanitizer)
    EXPECT_EQ(storage[2], 10);

    TARNArray<long> pushed(storage, 4, 3, 2);
    pushed.PushBack(50);  // PushBack never writes into foreign storage
    EXPECT_TRUE(pushed.OwnsStorage());
    EXPECT_EQ(elements(pushed), (Longs{10, 21, 30, 50}));
    EXPECT_EQ(storage[1], 0);
}

TEST(RingArray, CopiesAreIndependentAndMovesEmptyTheSource) {
    TARNArray<TARNStackedString<40>> names;
    names.PushBack("a");
    names.PushBack(std::string(60, 'b').c_str());
    names.PopFront();
    names.PushBack("c");

    TARNArray<TARNStackedString<40>> copy(names);
    EXPECT_EQ(copy.Start(), 0);
    EXPECT_EQ(copy.Size(), 2);
    copy[0] = "changed";
    EXPECT_EQ(names[0].Length(), 60);

    TARNArray<TARNStackedString<40>> moved(std::move(copy));
    EXPECT_EQ(moved.Size(), 2);
    EXPECT_TRUE(moved[1] == "c");
    EXPECT_EQ(copy.Size(), 0);  // NOLINT(bugprone-use-after-move)
    copy.PushBack("reused");
    EXPECT_EQ(copy.Size(), 1);
}
