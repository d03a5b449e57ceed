#include "tarn/runtime/streamed_string.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <ostream>
#include <string>

namespace {

std::string text(const TARNStackedString<40>& s) {
    return std::string(s.c_str(), s.Length());
}

// The manipulators must be usable in constant initialisation (module declarations run
// before other statics are set up).
constexpr TARNSManip kStaticHex = TARNSManip::hex;
static_assert(static_cast<int>(TARNSManip::dec) == 0 && static_cast<int>(TARNSManip::hex) == 1 &&
              static_cast<int>(TARNSManip::oct) == 2 && static_cast<int>(TARNSManip::endl) == 16 &&
              static_cast<int>(TARNSManip::ends) == 17);

struct StreamCase {
    const char* name;
    std::function<void(TARNStreamedString&)> write;
    std::string expected;
};

std::string caseName(const ::testing::TestParamInfo<StreamCase>& info) {
    return info.param.name;
}

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

}  // namespace

class StreamedStringFormat : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamedStringFormat, AppendsTheFormattedValue) {
    TARNStreamedString s("<");
    GetParam().write(s);
    EXPECT_EQ(text(s), "<" + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operands, StreamedStringFormat,
    ::testing::Values(
        StreamCase{"IntIsNotAManipulator", [](TARNStreamedString& s) { s << 16 << 17 << 0 << 1; }, "161701"},
        StreamCase{"HexThenDec",
                   [](TARNStreamedString& s) { s << kStaticHex << 255 << TARNSManip::dec << -1; }, "ff-1"},
        StreamCase{"ShortHexIs16Bits", [](TARNStreamedString& s) { s << TARNSManip::hex << short{-1}; },
                   "ffff"},
        StreamCase{"ShortOct", [](TARNStreamedString& s) { s << TARNSManip::oct << short{-1}; }, "177777"},
        StreamCase{"ShortDec", [](TARNStreamedString& s) { s << short{-32768}; }, "-32768"},
        StreamCase{"UnsignedShort", [](TARNStreamedString& s) { s << static_cast<unsigned short>(65535); },
                   "65535"},
        StreamCase{"IntHexIs32Bits", [](TARNStreamedString& s) { s << TARNSManip::hex << -1; }, "ffffffff"},
        StreamCase{"IntOct", [](TARNStreamedString& s) { s << TARNSManip::oct << 8 << TARNSManip::dec << 8; },
                   "108"},
        StreamCase{"UnsignedInt", [](TARNStreamedString& s) { s << UINT_MAX; }, "4294967295"},
        StreamCase{"LongDec", [](TARNStreamedString& s) { s << LONG_MIN; }, "-9223372036854775808"},
        StreamCase{"LongHexIsUnsigned64", [](TARNStreamedString& s) { s << TARNSManip::hex << -2L; },
                   "fffffffffffffffe"},
        StreamCase{"LongOct", [](TARNStreamedString& s) { s << TARNSManip::oct << -1L; },
                   "1777777777777777777777"},
        StreamCase{"UnsignedLong", [](TARNStreamedString& s) { s << ULONG_MAX; }, "18446744073709551615"},
        StreamCase{"LongLongIsLong", [](TARNStreamedString& s) { s << TARNSManip::hex << 4096LL; }, "1000"},
        StreamCase{"DoubleShortest", [](TARNStreamedString& s) { s << 0.1; }, "0.1"},
        StreamCase{"DoubleExponent", [](TARNStreamedString& s) { s << 1e20; }, "1e+20"},
        StreamCase{"DoubleIgnoresHex", [](TARNStreamedString& s) { s << TARNSManip::hex << 2.5; }, "2.5"},
        StreamCase{"FloatWidened", [](TARNStreamedString& s) { s << 3.14159274f; }, "3.141592741"},
        StreamCase{"NullPointer", [](TARNStreamedString& s) { s << static_cast<const void*>(nullptr); },
                   "(nil)"},
        StreamCase{"Pointer", [](TARNStreamedString& s) { s << reinterpret_cast<const void*>(0x1234); },
                   "0x1234"},
        StreamCase{"Text",
                   [](TARNStreamedString& s) { s << "text " << static_cast<const char*>(nullptr) << 'c'; },
                   "text c"},
        StreamCase{"Endl", [](TARNStreamedString& s) { s << "a" << TARNSManip::endl; }, "a\n"},
        StreamCase{"Ends", [](TARNStreamedString& s) { s << TARNSManip::ends << "b"; },
                   std::string("\0b", 2)},
        StreamCase{"UnknownManipulator",
                   [](TARNStreamedString& s) {
                       s << static_cast<TARNSManip>(5) << static_cast<TARNSManip>(3) << 10;
                   },
                   "10"},
        StreamCase{"StringStopsAtNul",
                   [](TARNStreamedString& s) {
                       TARNStackedString<40> withNul;
                       withNul.init(3, "a\0b");
                       s << withNul << TARNStackedString<40>("") << TARNStackedString<40>("cd");
                   },
                   "acd"}),
    caseName);

TEST(StreamedString, ManipulatorsReplaceOnlyTheBaseBits) {
    TARNStreamedString s;
    s << TARNSManip::hex;
    EXPECT_EQ(s.Flags(), 1);
    s << TARNSManip::oct;
    EXPECT_EQ(s.Flags(), 2);
    s << TARNSManip::endl << TARNSManip::dec;
    EXPECT_EQ(s.Flags(), 0);
}

TEST(StreamedString, EndsLengthensTheTextByANul) {
    TARNStreamedString s("ab");
    s << TARNSManip::ends;
    EXPECT_EQ(s.Length(), 3);
    EXPECT_EQ(s.c_str()[2], '\0');
}

TEST(StreamedString, StreamingGrowsPastTheInlineStorage) {
    TARNStreamedString s;
    for (int i = 0; i < 30; ++i) s << i << ',';
    std::string expected;
    for (int i = 0; i < 30; ++i) expected += std::to_string(i) + ",";
    EXPECT_EQ(text(s), expected);
    EXPECT_EQ(s.c_str()[s.Length()], '\0');
}

TEST(StreamedString, StreamingAStringOntoItselfDoublesIt) {
    TARNStreamedString s(std::string(35, 'z').c_str());
    s << s;
    EXPECT_EQ(text(s), std::string(70, 'z'));
}

TEST(StreamedString, TextAssignmentKeepsTheBase) {
    TARNStreamedString s;
    s << TARNSManip::hex;
    s = "x=";
    s << 255;
    EXPECT_EQ(text(s), "x=ff");
    EXPECT_TRUE(s == TARNStackedString<40>("x=ff"));
    EXPECT_TRUE(TARNStackedString<40>("x=ff") == s);
    EXPECT_TRUE(s == "x=ff");
}
