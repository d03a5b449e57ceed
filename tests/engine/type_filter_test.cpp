#include "tarn/engine/type_filter.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned long vectorBit = 1UL << 63;

// Which of the 72 static filters accept a type code: the whole set is given, so a filter
// with wrong bits, or a name bound to the wrong filter, shows up as a difference.
struct AcceptanceCase {
    unsigned long code;
    std::set<std::string> accepting;
};

void PrintTo(const AcceptanceCase& c, std::ostream* os) {
    *os << "code 0x" << std::hex << c.code;
}

class StaticFilterAcceptance : public testing::TestWithParam<AcceptanceCase> {};

TEST_P(StaticFilterAcceptance, ExactlyTheseFiltersAccept) {
    const AcceptanceCase& c = GetParam();
    TARNTypeInfo type(c.code);
    std::set<std::string> accepting;
    for (const TARN::StaticTypeFilter& entry : TARN::StaticTypeFilters)
        if (TARN::TypeFilter(type, *entry.filter)) accepting.insert(entry.name);
    EXPECT_EQ(accepting, c.accepting) << std::hex << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StaticFilterAcceptance,
    testing::Values(
        // 8-bit stream and unsigned 8-bit integer share their bit.
        AcceptanceCase{0x1000,
                       {"FilterAny", "FilterAudioSignals", "FilterStream8", "FilterUnsignedNumbers",
                        "FilterUnsignedIntegers", "FilterNumbers", "FilterNumber", "FilterAnyIntegers",
                        "FilterUnsignedIntegers8", "FilterUnsignedInteger8", "FilterOneUnsignedInteger8",
                        "FilterOneNumber"}},
        AcceptanceCase{
            0x2,
            {"FilterAny", "FilterSignedNumbers", "FilterSignedIntegers", "FilterNumbers", "FilterNumber",
             "FilterAnyIntegers", "FilterIntegers32", "FilterInteger32", "FilterIntegers", "FilterInteger",
             "FilterOneInteger32", "FilterOneInteger", "FilterOneNumber"}},
        // The vector bit excludes every FilterOne filter.
        AcceptanceCase{
            0x2 | vectorBit,
            {"FilterAny", "FilterSignedNumbers", "FilterSignedIntegers", "FilterNumbers", "FilterNumber",
             "FilterAnyIntegers", "FilterIntegers32", "FilterInteger32", "FilterIntegers", "FilterInteger"}},
        // Two kinds at once: no FilterOne filter of a single kind accepts.
        AcceptanceCase{
            0x2 | 0x8000,
            {"FilterAny", "FilterSignedNumbers", "FilterSignedIntegers", "FilterNumbers", "FilterNumber",
             "FilterAnyIntegers", "FilterIntegers64", "FilterInteger64", "FilterIntegers32",
             "FilterInteger32", "FilterIntegers", "FilterInteger", "FilterOneNumber"}},
        AcceptanceCase{
            0x4,
            {"FilterAny", "FilterSignedNumbers", "FilterNumbers", "FilterNumber", "FilterAnyFloats",
             "FilterDoubles", "FilterFloats64", "FilterDouble", "FilterFloat64", "FilterFloats",
             "FilterFloat", "FilterOneDouble", "FilterOneFloat64", "FilterOneFloat", "FilterOneNumber"}},
        AcceptanceCase{0x10000 | vectorBit,
                       {"FilterAny", "FilterAudioSignals", "FilterSignedNumbers", "FilterNumbers",
                        "FilterNumber", "FilterAnyFloats", "FilterFloats32", "FilterFloat32"}},
        AcceptanceCase{0x400000,
                       {"FilterAny", "FilterUnsignedNumbers", "FilterUnsignedIntegers", "FilterNumbers",
                        "FilterNumber", "FilterAnyIntegers", "FilterUnsignedIntegers64",
                        "FilterUnsignedInteger64", "FilterOneUnsignedInteger64", "FilterOneNumber"}},
        AcceptanceCase{0x100000,
                       {"FilterAny", "FilterSignedNumbers", "FilterSignedIntegers", "FilterNumbers",
                        "FilterNumber", "FilterAnyIntegers", "FilterIntegers8", "FilterInteger8",
                        "FilterOneInteger8", "FilterOneNumber"}},
        // The other scalar kinds, each alone.
        AcceptanceCase{0x2000,
                       {"FilterAny", "FilterStream16", "FilterUnsignedNumbers", "FilterUnsignedIntegers",
                        "FilterNumbers", "FilterNumber", "FilterAnyIntegers", "FilterUnsignedIntegers16",
                        "FilterUnsignedInteger16", "FilterOneUnsignedInteger16", "FilterOneNumber"}},
        AcceptanceCase{0x4000,
                       {"FilterAny", "FilterStream32", "FilterUnsignedNumbers", "FilterUnsignedIntegers",
                        "FilterNumbers", "FilterNumber", "FilterAnyIntegers", "FilterUnsignedIntegers32",
                        "FilterUnsignedInteger32", "FilterOneUnsignedInteger32", "FilterOneNumber"}},
        AcceptanceCase{0x200000,
                       {"FilterAny", "FilterSignedNumbers", "FilterSignedIntegers", "FilterNumbers",
                        "FilterNumber", "FilterAnyIntegers", "FilterIntegers16", "FilterInteger16",
                        "FilterOneInteger16", "FilterOneNumber"}},
        AcceptanceCase{0x100, {"FilterAny", "FilterMatrix"}},
        AcceptanceCase{0x200, {"FilterAny", "FilterRealObjects"}},
        AcceptanceCase{0x400, {"FilterAny", "FilterDrawingObjects"}},
        AcceptanceCase{0x20, {"FilterAny", "FilterIplImage", "FilterImage"}},
        AcceptanceCase{0x40, {"FilterAny", "FilterTARNImage", "FilterImage"}},
        AcceptanceCase{0x10, {"FilterAny", "FilterTextUTF16", "FilterTextUnicode"}},
        AcceptanceCase{0x8 | (1UL << 59), {"FilterAny", "FilterTextUTF8", "FilterTextAscii"}},
        AcceptanceCase{0x80 | (1UL << 60), {"FilterAny", "FilterAnyCANFrame", "FilterCANFrame"}},
        AcceptanceCase{0x80000, {"FilterAny", "FilterAnyCANFrame", "FilterCANFDFrame"}},
        AcceptanceCase{0x1000000, {"FilterAny", "FilterAnyCANFrame", "FilterCANUniFrame"}},
        AcceptanceCase{0x20000, {"FilterAny", "FilterAudioSignals", "FilterAudioSignal"}},
        AcceptanceCase{0x1, {"FilterAny", "FilterStructure"}},
        AcceptanceCase{0x40000, {"FilterAny", "FilterDynamicStructure"}},
        AcceptanceCase{0x800000, {"FilterAny", "FilterCustomType"}},
        AcceptanceCase{0x800, {"FilterAny", "FilterTriangles3D"}},
        // No kind bit among the low 32: nothing accepts, not even FilterAny.
        AcceptanceCase{0x100000000UL, {}}, AcceptanceCase{0, {}}, AcceptanceCase{vectorBit, {}}));

TEST(StaticFilters, AreSeventyTwoDistinctNamesEachNamingItsFirstAlias) {
    std::set<std::string> names;
    for (const TARN::StaticTypeFilter& entry : TARN::StaticTypeFilters) {
        names.insert(entry.name);
        EXPECT_EQ(entry.filter->typeNamePattern, nullptr) << entry.name;
        EXPECT_EQ(entry.filter->unitPattern, nullptr) << entry.name;
    }
    EXPECT_EQ(names.size(), 72u);

    // Aliases compare equal: the first laid out gives the name.
    const struct {
        const TARNTypeFilterBase& filter;
        const char* name;
    } cases[] = {
        {TARN::FilterTextUnicode, "FilterTextUTF16"},
        {TARN::FilterTextAscii, "FilterTextUTF8"},
        {TARN::FilterFloat, "FilterDoubles"},
        {TARN::FilterInteger, "FilterIntegers32"},
        {TARN::FilterStream8, "FilterStream8"},
        {TARN::FilterUnsignedInteger8, "FilterStream8"},
        {TARN::FilterOneInteger, "FilterOneInteger32"},
        {TARN::FilterOneFloat64, "FilterOneDouble"},
        {TARN::FilterOneNumber, "FilterOneNumber"},
        {TARN::FilterNumber, "FilterNumbers"},
        {TARN::FilterUnsignedIntegers, "FilterUnsignedNumbers"},
    };
    for (const auto& c : cases) EXPECT_STREQ(TARN::StaticTypeFilterName(c.filter), c.name);
    EXPECT_EQ(TARN::StaticTypeFilterName(TARNTypeFilterBase(0, 0, 0x3)), nullptr);
}

// A filter accepting any kind, with the given patterns.
TARNTypeFilterBase patterned(const char* typeName, const char* unit) {
    return TARNTypeFilterBase(0, 0, 0xffffffff, typeName, unit);
}

TEST(TypeFilterPatterns, NameAndUnitMustMatchUnlessTheTypeOptsOut) {
    constexpr unsigned long ignoreUnit = 1UL << 58, ignoreName = 1UL << 59;
    const struct {
        const char* namePattern;
        const char* unitPattern;
        unsigned long code;
        const char* name;  // null: absent
        const char* unit;
        bool accepted;
    } cases[] = {
        {"^image/", nullptr, 0x20, "image/raw", nullptr, true},
        {"^image/", nullptr, 0x20, "video/raw", nullptr, false},
        {"^image/", nullptr, 0x20, nullptr, nullptr, false},
        {"^image/", nullptr, 0x20 | ignoreName, nullptr, nullptr, true},
        {"^image/", nullptr, 0x20 | ignoreUnit, nullptr, nullptr, false},
        {"raw", nullptr, 0x20, "image/raw12", nullptr, true},  // searched, not anchored
        {nullptr, "^m/s$", 0x4, nullptr, "m/s", true},
        {nullptr, "^m/s$", 0x4, nullptr, "km/s", false},
        {nullptr, "^m/s$", 0x4, nullptr, nullptr, false},
        {nullptr, "^m/s$", 0x4 | ignoreUnit, nullptr, nullptr, true},
        {nullptr, "^m/s$", 0x4 | ignoreName, nullptr, nullptr, false},
        {nullptr, "^$", 0x4, nullptr, "", true},
        {"^a$", "^b$", 0x4, "a", "b", true},
        {"^a$", "^b$", 0x4, "a", "c", false},
        {"^a$", "^b$", 0x4, "c", "b", false},
        {"^a$", "^b$", 0x4 | ignoreName | ignoreUnit, "c", "c", true},
        // Patterns pass, bits do not.
        {"^a$", "^b$", 0x100000000UL, "a", "b", false},
        // A pattern that does not compile accepts nothing.
        {"(", nullptr, 0x4, "(", nullptr, false},
    };
    for (const auto& c : cases) {
        TARNTypeFilterBase filter = patterned(c.namePattern, c.unitPattern);
        TARNTypeInfo type(c.code, c.name, c.unit);
        // Twice: the second match runs on the patterns compiled by the first.
        EXPECT_EQ(filter.Match(type), c.accepted) << c.namePattern << " " << c.unitPattern << " " << c.name;
        EXPECT_EQ(TARN::TypeFilter(type, filter), c.accepted);
    }
}

TEST(TypeFilterPatterns, SetUnitOfNullLetsAnEmptyUnitPatternAccept) {
    TARNTypeFilterBase filter = patterned(nullptr, "^$");
    TARNTypeInfo type(0x4);
    EXPECT_FALSE(filter.Match(type));
    type.SetUnit(nullptr);
    EXPECT_TRUE(filter.Match(type));
}

TEST(TypeFilterPatterns, CopiesCompileTheirOwnPatterns) {
    TARNTypeFilterBase original = patterned("^n$", "^u$");
    TARNTypeInfo type(0x4, "n", "u");
    ASSERT_TRUE(original.Match(type));
    ASSERT_NE(original.typeNameRegExp, nullptr);
    ASSERT_NE(original.unitRegExp, nullptr);

    TARNTypeFilterBase copy(original);
    EXPECT_EQ(copy.typeNameRegExp, nullptr);
    EXPECT_EQ(copy.unitRegExp, nullptr);
    EXPECT_TRUE(copy.Match(type));
    EXPECT_NE(copy.typeNameRegExp, original.typeNameRegExp);

    // Assignment drops the compiled patterns of the old texts.
    TARNTypeFilterBase other = patterned("^x$", nullptr);
    ASSERT_FALSE(other.Match(type));
    other = original;
    EXPECT_EQ(other.typeNameRegExp, nullptr);
    EXPECT_TRUE(other.Match(type));
}

TEST(TypeFilter, EqualityComparesBitsAndPatternTexts) {
    std::string sameText = "^img";  // a different buffer with the same text
    const struct {
        TARNTypeFilterBase a, b;
        bool equal;
    } cases[] = {
        {TARNTypeFilterBase(1, 2, 3), TARNTypeFilterBase(1, 2, 3), true},
        {TARNTypeFilterBase(1, 2, 3), TARNTypeFilterBase(9, 2, 3), false},
        {TARNTypeFilterBase(1, 2, 3), TARNTypeFilterBase(1, 9, 3), false},
        {TARNTypeFilterBase(1, 2, 3), TARNTypeFilterBase(1, 2, 9), false},
        {TARNTypeFilterBase(1, 2, 3, "^img"), TARNTypeFilterBase(1, 2, 3, sameText.c_str()), true},
        {TARNTypeFilterBase(1, 2, 3, "^img"), TARNTypeFilterBase(1, 2, 3), false},
        {TARNTypeFilterBase(1, 2, 3, "^img"), TARNTypeFilterBase(1, 2, 3, "^imh"), false},
        {TARNTypeFilterBase(1, 2, 3, nullptr, "m"), TARNTypeFilterBase(1, 2, 3, nullptr, "m"), true},
        {TARNTypeFilterBase(1, 2, 3, nullptr, "m"), TARNTypeFilterBase(1, 2, 3, "m", nullptr), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].a == cases[i].b, cases[i].equal) << "case " << i;
        EXPECT_EQ(cases[i].b == cases[i].a, cases[i].equal) << "case " << i;
    }
}

}  // namespace
