#include "tarn/runtime/regular_expression.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

bool matches(const TARNRegExp& source, const std::string& subject) {
    TARNRegExp re(source);
    return re.exec(subject.data(), static_cast<int>(subject.size()));
}

std::vector<std::string> substrings(const TARNRegExp& re) {
    std::vector<std::string> out;
    const auto& array = re.Substrings();
    for (int i = 0; i < array.Size(); ++i) out.emplace_back(array[i].c_str(), array[i].Length());
    return out;
}

std::vector<int> positions(const TARNRegExp& re) {
    std::vector<int> out;
    for (int i = 0; i < re.Substrings().Size(); ++i) out.push_back(re.Position(i));
    return out;
}

}  // namespace

struct GroupCase {
    const char* name;
    const char* pattern;
    const char* subject;
    std::vector<std::string> substrings;
    std::vector<int> positions;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << c.name;
}

class RegExpGroups : public ::testing::TestWithParam<GroupCase> {};

TEST_P(RegExpGroups, MatchGivesEverySubstringAndItsPosition) {
    const GroupCase& c = GetParam();
    TARNRegExp re(c.pattern, 0);
    ASSERT_TRUE(re.Ok()) << re.LastError();
    ASSERT_TRUE(re.exec(c.subject, static_cast<int>(std::strlen(c.subject))));
    EXPECT_EQ(substrings(re), c.substrings);
    EXPECT_EQ(positions(re), c.positions);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegExpGroups,
    ::testing::Values(GroupCase{"WholeMatchOnly", "b+", "abbbc", {"bbb"}, {1}},
                      GroupCase{
                          "TwoGroups", "(\\d+)-(\\d+)", "tel 12-345", {"12-345", "12", "345"}, {4, 4, 7}},
                      // Five groups need six pairs: the first vector (three pairs) is too small.
                      GroupCase{"VectorGrowsOnce",
                                "(a)(b)(c)(d)(e)",
                                "xabcde",
                                {"abcde", "a", "b", "c", "d", "e"},
                                {1, 1, 2, 3, 4, 5}},
                      // Twelve groups need thirteen pairs: the vector grows three times.
                      GroupCase{"VectorGrowsSeveralTimes",
                                "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)",
                                "abcdefghijkl",
                                {"abcdefghijkl", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"},
                                {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
                      GroupCase{"OptionalGroupLeftOut", "a(x)?(b)", "ab", {"ab", "", "b"}, {0, -1, 1}},
                      GroupCase{"EmptyGroupTakesPart", "a()b", "ab", {"ab", ""}, {0, 1}},
                      // Unknown escapes stand for the character itself.
                      GroupCase{"UnknownEscapeIsLiteral", "a\\y(b)", "zaybz", {"ayb", "b"}, {1, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegExp, ElementNamePatternsAcceptOnlyValidNames) {
    const TARNRegExp plain("^[a-zA-Z][a-zA-Z_0-9]*$", 0);
    const TARNRegExp output("^[a-zA-Z][a-zA-Z_0-9\\.:]*$", 0);
    for (const char* name : {"a", "raw_image", "Z9_"}) {
        EXPECT_TRUE(matches(plain, name)) << name;
        EXPECT_TRUE(matches(output, name)) << name;
    }
    for (const char* name : {"", "9a", "_a", "a-b", "a b", "a.b", "é"})
        EXPECT_FALSE(matches(plain, name)) << name;
    EXPECT_TRUE(matches(output, "cam.out:1"));
    EXPECT_FALSE(matches(output, ".out"));
}

TEST(RegExp, SubjectLengthBoundsTheMatch) {
    TARNRegExp re("def", 0);
    EXPECT_FALSE(re.exec("abcdef", 3));
    EXPECT_TRUE(re.exec("abcdef", 6));

    // The subject need not be terminated, and may hold NULs.
    const char subject[] = {'x', '\0', 'd', 'e', 'f'};
    ASSERT_TRUE(re.exec(subject, sizeof subject));
    EXPECT_EQ(re.Position(0), 2);

    // A negative length is refused instead of being read as "up to the first NUL".
    EXPECT_FALSE(re.exec("def", -1));
    EXPECT_FALSE(re.exec(nullptr, 0));
}

TEST(RegExp, FailedMatchKeepsTheLastSuccessfulResults) {
    TARNRegExp re("(b)(c)?", 0);
    ASSERT_TRUE(re.exec("abc", 3));
    EXPECT_FALSE(re.exec("xyz", 3));
    EXPECT_FALSE(re.exec("abc", -1));
    EXPECT_EQ(substrings(re), (std::vector<std::string>{"bc", "b", "c"}));
    EXPECT_EQ(positions(re), (std::vector<int>{1, 1, 2}));
}

TEST(RegExp, PositionOutsideTheSubstringsIsMinusOne) {
    TARNRegExp re("(a)(b)?", 0);
    EXPECT_EQ(re.Position(0), -1);  // no match yet
    ASSERT_TRUE(re.exec("a", 1));
    ASSERT_EQ(re.Substrings().Size(), 2);  // group 2 did not take part at the end
    EXPECT_EQ(re.Position(1), 0);
    for (int i : {-1, 2, 3, 1000}) EXPECT_EQ(re.Position(i), -1) << i;
}

struct CompileErrorCase {
    const char* name;
    const char* pattern;
    int offset;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const CompileErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class RegExpCompileError : public ::testing::TestWithParam<CompileErrorCase> {};

TEST_P(RegExpCompileError, GivesATextAndTheOffendingPosition) {
    TARNRegExp re(GetParam().pattern, 0);
    EXPECT_FALSE(re.Ok());
    ASSERT_NE(re.LastError(), nullptr);
    EXPECT_GT(std::strlen(re.LastError()), 0u);
    EXPECT_EQ(re.ErrorOffset(), GetParam().offset);
    EXPECT_FALSE(re.exec("ab(c", 4));
    EXPECT_EQ(re.Substrings().Size(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegExpCompileError,
                         ::testing::Values(CompileErrorCase{"UnclosedGroup", "ab(c", 4},
                                           CompileErrorCase{"UnopenedGroup", "a)b", 1},
                                           CompileErrorCase{"RepeatRangeOutOfOrder", "x{2,1}", 5},
                                           CompileErrorCase{"ClassRangeOutOfOrder", "[z-a]", 3},
                                           CompileErrorCase{"NothingToRepeat", "*a", 0}),
                         [](const ::testing::TestParamInfo<CompileErrorCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RegExp, EmptyHandleAndNullPatternHaveNoPattern) {
    TARNRegExp empty;
    EXPECT_FALSE(empty.Ok());
    EXPECT_EQ(empty.LastError(), nullptr);
    EXPECT_EQ(empty.ErrorOffset(), -1);
    EXPECT_FALSE(empty.exec("a", 1));

    TARNRegExp null(nullptr, 0);
    EXPECT_FALSE(null.Ok());
    EXPECT_NE(null.LastError(), nullptr);
}

TEST(RegExp, SuccessfulCompilationClearsTheError) {
    TARNRegExp re("(", 0);
    ASSERT_NE(re.LastError(), nullptr);
    re.compile_pattern("a");
    EXPECT_TRUE(re.Ok());
    EXPECT_EQ(re.LastError(), nullptr);
    EXPECT_EQ(re.ErrorOffset(), -1);
}

TEST(RegExp, CopiesShareOnePatternAndItsResults) {
    auto* original = new TARNRegExp("(o+)", 0);
    TARNRegExp copy(*original);
    TARNRegExp assigned("x", 0);
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the body
    ASSERT_TRUE(copy.exec("foo", 3));
    EXPECT_EQ(substrings(*original), (std::vector<std::string>{"oo", "oo"}));
    EXPECT_EQ(substrings(assigned), (std::vector<std::string>{"oo", "oo"}));
    delete original;  // the others keep the pattern alive
    EXPECT_TRUE(assigned.exec("boo", 3));
    EXPECT_EQ(assigned.Position(1), 1);

    // A new pattern detaches the handle from the shared body.
    copy.SetPattern("z");
    EXPECT_TRUE(assigned.exec("o", 1));
    EXPECT_FALSE(copy.exec("o", 1));
}

TEST(RegExp, OptionsApplyToTheNextCompileOfTheSameBody) {
    TARNRegExp re;
    re.SetOptions(TARNRegExp::Caseless);
    re.SetPattern("abc");  // a fresh body: options 0
    EXPECT_FALSE(re.exec("ABC", 3));

    re.SetOptions(TARNRegExp::Caseless);
    re.compile_pattern("abc");
    EXPECT_TRUE(re.exec("ABC", 3));
}

struct OptionCase {
    const char* name;
    int options;
    const char* pattern;
    const char* subject;
    bool match;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.name;
}

class RegExpOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(RegExpOptions, KeepTheirClassicMeaning) {
    const OptionCase& c = GetParam();
    TARNRegExp re(c.pattern, c.options);
    ASSERT_TRUE(re.Ok()) << re.LastError();
    EXPECT_EQ(re.exec(c.subject, static_cast<int>(std::strlen(c.subject))), c.match);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegExpOptions,
    ::testing::Values(OptionCase{"CaseCountsByDefault", 0, "abc", "ABC", false},
                      OptionCase{"Caseless", TARNRegExp::Caseless, "abc", "ABC", true},
                      OptionCase{"DollarOnlyAtEnd", 0, "^b$", "a\nb\nc", false},
                      OptionCase{"Multiline", TARNRegExp::Multiline, "^b$", "a\nb\nc", true},
                      OptionCase{"DotStopsAtNewline", 0, "a.b", "a\nb", false},
                      OptionCase{"DotAll", TARNRegExp::DotAll, "a.b", "a\nb", true},
                      OptionCase{"Extended", TARNRegExp::Extended, "a b # note", "ab", true},
                      OptionCase{"Anchored", TARNRegExp::Anchored, "b", "ab", false},
                      OptionCase{"Ungreedy", TARNRegExp::Ungreedy | TARNRegExp::Anchored, "a+$", "aaa", true},
                      OptionCase{"NewlineCR", TARNRegExp::NewlineCR | TARNRegExp::Multiline, "^b", "a\rb",
                                 true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegExp, RefusedOptionsGiveACompileError) {
    for (int options :
         {TARNRegExp::NewlineCR | TARNRegExp::NewlineAny | TARNRegExp::NewlineLF,  // bits 6 << 20
          TARNRegExp::BsrAnyCRLF | TARNRegExp::BsrUnicode, 0x8000 /* partial matching */}) {
        TARNRegExp re("a", options);
        EXPECT_FALSE(re.Ok()) << options;
        EXPECT_NE(re.LastError(), nullptr) << options;
    }
    // Extra makes an unknown escape an error.
    TARNRegExp strict("a\\yb", TARNRegExp::Extra);
    EXPECT_FALSE(strict.Ok());
    EXPECT_EQ(strict.ErrorOffset(), 2);  // at the escaped character
}

TEST(RegExp, StudiedPatternStillMatchesWhatOutgrowsItsStack) {
    // Each repetition of a capturing group takes room on the just-in-time code's small
    // stack; a long subject exhausts it and the match must finish without it.
    TARNRegExp re("(.)*$", 0);
    re.study_pattern();
    EXPECT_TRUE(re.Ok());
    const std::string subject(20000, 'x');
    ASSERT_TRUE(re.exec(subject.data(), static_cast<int>(subject.size())));
    EXPECT_EQ(positions(re), (std::vector<int>{0, 19999}));

    TARNRegExp small("(a)(b)", 0);
    small.study_pattern();
    ASSERT_TRUE(small.exec("xab", 3));
    EXPECT_EQ(substrings(small), (std::vector<std::string>{"ab", "a", "b"}));
}
