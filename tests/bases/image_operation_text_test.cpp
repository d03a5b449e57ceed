// The numbers of the image-processing texts are read as the C library reads them in the "C"
// locale: strtol with base 10 (held to an int) and strtod, hexadecimal, infinities,
// overflow and underflow included.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bases/image_operation_text.hpp"

namespace {

const char* const Tokens[] = {
    "0x10",    "0X1P-2",  "-0x1.8p1", "0x",      "1e-999",   "-1e-999",   "1e999",     "-1E400",
    "4.9e-324", "inf",     "-INFINITY", "NAN",   "nan(12)",  " \t+2.5e1x", ".5",        "5.",
    "e5",      "1e",      "1e+",       "-",      "",         "- 3",       "2147483648", "-99999999999",
    "00012",   "+0",      "-0",        "12abc",  "0.000000000000000000000000000001e+30",
};

TEST(ImageOperationText, DoublesAreReadAsStrtodReadsThem) {
    for (const char* token : Tokens) {
        SCOPED_TRACE(token);
        const double expected = std::strtod(token, nullptr);
        const double read = TARNImageText::ParseDouble(token);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(read));
            continue;
        }
        // Bit for bit: the sign of a zero counts too.
        EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << read << " against " << expected;
    }
}

TEST(ImageOperationText, IntegersAreReadAsStrtolReadsThemHeldToAnInt) {
    for (const char* token : Tokens) {
        SCOPED_TRACE(token);
        const long expected = std::clamp<long>(std::strtol(token, nullptr, 10), INT_MIN, INT_MAX);
        EXPECT_EQ(TARNImageText::ParseInteger(token), expected);
    }
}

// A token is a view into the text: the reading stops at its end, not at the text's.
TEST(ImageOperationText, ATokenEndsWhereItsViewEnds) {
    const std::string text = "0x10,5";
    EXPECT_EQ(TARNImageText::ParseDouble(std::string_view(text).substr(0, 2)), 0.0);
    EXPECT_EQ(TARNImageText::ParseDouble(std::string_view(text).substr(0, 3)), 1.0);
    EXPECT_EQ(TARNImageText::ParseDouble(std::string_view(text).substr(0, 4)), 16.0);
    EXPECT_EQ(TARNImageText::ParseInteger(std::string_view("125", 2)), 12);
}

}  // namespace
