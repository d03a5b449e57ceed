#include "tarn/runtime/matrix.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// A shallow copy would own the same arrays as its source and free them a second time.
static_assert(!std::is_copy_constructible_v<TARNMatrix>);
static_assert(!std::is_copy_assignable_v<TARNMatrix>);

void FillAll(TARNMatrix& m) {
    // Every value is written, so the sanitizer sees any array shorter than rows x cols.
    const long n = static_cast<long>(m.rows) * m.cols;
    for (long i = 0; i < n; ++i) {
        m.real[i] = static_cast<double>(i);
        m.imag[i] = -static_cast<double>(i);
    }
}

TEST(TARNMatrix, OwnsTwoArraysOfRowsTimesColumns) {
    TARNMatrix m(3, 4);
    EXPECT_EQ(3, m.rows);
    EXPECT_EQ(4, m.cols);
    EXPECT_TRUE(m.owns);
    ASSERT_NE(nullptr, m.real);
    ASSERT_NE(nullptr, m.imag);
    EXPECT_NE(m.real, m.imag);
    FillAll(m);
    EXPECT_EQ(11.0, m.real[11]);
    EXPECT_EQ(-11.0, m.imag[11]);
}

TEST(TARNMatrix, FreeReleasesOwnedArraysAndAllocTakesANewSize) {
    TARNMatrix m(2, 2);
    m.Free();
    EXPECT_EQ(nullptr, m.real);
    EXPECT_EQ(nullptr, m.imag);
    m.Free();  // nothing left to release
    m.Alloc(5, 7);
    EXPECT_EQ(5, m.rows);
    EXPECT_EQ(7, m.cols);
    FillAll(m);
}

TEST(TARNMatrix, BorrowedArraysAreNeverFreed) {
    std::vector<double> real(6, 1.0), imag(6, 2.0);
    {
        TARNMatrix view(2, 3, real.data(), imag.data());
        EXPECT_FALSE(view.owns);
        view.Free();
        EXPECT_EQ(real.data(), view.real);
        EXPECT_EQ(imag.data(), view.imag);
    }  // the destructor must not delete the vectors' storage either
    EXPECT_EQ(1.0, real[5]);
}

TEST(TARNMatrix, RecordLayoutIsTheSharedFortyBytes) {
    double real[2] = {}, imag[2] = {};
    TARNMatrix m(1, 2, real, imag);
    unsigned char bytes[40];
    static_assert(sizeof m == sizeof bytes);
    std::memcpy(bytes, static_cast<const void*>(&m), sizeof bytes);
    int32_t rows, cols;
    double *realAt16, *imagAt24;
    std::memcpy(&rows, bytes + 8, 4);
    std::memcpy(&cols, bytes + 12, 4);
    std::memcpy(&realAt16, bytes + 16, 8);
    std::memcpy(&imagAt24, bytes + 24, 8);
    EXPECT_EQ(1, rows);
    EXPECT_EQ(2, cols);
    EXPECT_EQ(real, realAt16);
    EXPECT_EQ(imag, imagAt24);
    EXPECT_EQ(0, bytes[32]);  // owns
}

struct BadSize {
    const char* name;
    int rows, cols;
};

// Negative dimensions (even two whose product is positive) and products that no
// allocation can hold (in 32 bits INT_MAX x INT_MAX wraps to 1).
const BadSize kBadSizes[] = {
    {"NegativeRows", -1, 4},
    {"NegativeColumns", 4, -1},
    {"BothNegative", -2, -3},
    {"IntMaxSquared", INT_MAX, INT_MAX},
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const BadSize& c, std::ostream* os) {
    *os << c.name;
}

class TARNMatrixBadSizeTest : public ::testing::TestWithParam<BadSize> {};

TEST_P(TARNMatrixBadSizeTest, ConstructorThrowsBadAlloc) {
    EXPECT_THROW(TARNMatrix(GetParam().rows, GetParam().cols), std::bad_alloc);
}

TEST_P(TARNMatrixBadSizeTest, AllocThrowsAndLeavesTheMatrixAsItWas) {
    TARNMatrix m(2, 3);
    m.Free();
    EXPECT_THROW(m.Alloc(GetParam().rows, GetParam().cols), std::bad_alloc);
    EXPECT_EQ(2, m.rows);
    EXPECT_EQ(3, m.cols);
    EXPECT_EQ(nullptr, m.real);
    EXPECT_EQ(nullptr, m.imag);
}

INSTANTIATE_TEST_SUITE_P(Cases, TARNMatrixBadSizeTest, ::testing::ValuesIn(kBadSizes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
