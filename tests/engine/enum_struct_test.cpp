#include "tarn/engine/enum_struct.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/host_kernel_fixture.hpp"

namespace {

std::string text(const TARNEnumStruct& e) {
    return e.ToString().c_str();
}

// The enumeration reports through the kernel.
class WithHostKernel : public HostKernelTest {
  protected:
    // The messages reported so far, each checked to be an error with parameter 0.
    std::vector<std::string> errors() const {
        std::vector<std::string> messages;
        for (const HostReport& r : recorder.Reports()) {
            EXPECT_EQ(r.level, 2) << r.message;
            EXPECT_EQ(r.parameter, 0) << r.message;
            EXPECT_FALSE(r.fromEngine) << r.message;
            messages.push_back(r.message);
        }
        return messages;
    }
    // Nothing, or the one message given.
    static std::vector<std::string> expected(const char* message) {
        return message == nullptr ? std::vector<std::string>{} : std::vector<std::string>{message};
    }
};

// One message ends with a point, the other does not.
const char* const selectionReport =
    "TARNEnumStruct::FromString: Selected value incompatible with enum values for property. Selected "
    "property is "
    "set to 0.";
const char* const constructorSelectionReport =
    "Selected value incompatible with enum values for property. Selected property is set to 0";
const char* const sizeReport =
    "TARNEnumStruct::FromString: Declared size of enum struct does not match the number of given elements.";
#define ILL_FORMED(text)                                                                              \
    "TARNEnumStruct::FromString: Ill-formed enum string [expected:nbVal|selected|val0|val1|val2...] " \
    "[received:" text "]"

struct FromStringCase {
    const char* initialNames;
    int initialSelected;
    const char* input;
    bool selectionOnly;
    const char* expected;  // ToString afterwards
    const char* report;    // null: nothing reported
};

void PrintTo(const FromStringCase& c, std::ostream* os) {
    *os << '"' << c.input << (c.selectionOnly ? "\" selection only" : "\"");
}

class EnumFromString : public WithHostKernel, public testing::WithParamInterface<FromStringCase> {};

TEST_P(EnumFromString, LeavesTheExpectedEnumerationAndReport) {
    const FromStringCase& c = GetParam();
    TARNEnumStruct e(c.initialNames, c.initialSelected);
    recorder.ClearReports();
    e.FromString(c.input, c.selectionOnly);
    EXPECT_EQ(text(e), c.expected);
    EXPECT_EQ(errors(), expected(c.report));
}

INSTANTIATE_TEST_SUITE_P(Cases, EnumFromString,
                         testing::Values(
                             // Well-formed texts replace names and selection.
                             FromStringCase{"X|Y", 0, "3|1|red|green|blue", false, "3|1|red|green|blue",
                                            nullptr},
                             FromStringCase{"X|Y", 0, "3|0|a||c", false, "3|0|a||c", nullptr},
                             FromStringCase{"X|Y", 0, "1|0|", false, "1|0|", nullptr},
                             FromStringCase{"X|Y", 1, "2|-1|A|B", false, "2|-1|A|B", nullptr},
                             // A selected index beyond the names selects 0.
                             FromStringCase{"X|Y", 1, "2|5|A|B", false, "2|0|A|B", selectionReport},
                             // Only the upper bound is checked: a negative index is kept as given.
                             FromStringCase{"X|Y", 1, "2|-3|A|B", false, "2|-3|A|B", nullptr},
                             // A count that disagrees with the names leaves no names and nothing selected.
                             FromStringCase{"X|Y", 1, "2|1|A", false, "0|-1", sizeReport},
                             FromStringCase{"X|Y", 1, "2|1|A|B|", false, "0|-1", sizeReport},
                             FromStringCase{"X|Y", 1, "1|0", false, "0|-1", sizeReport},
                             // A count of 0 or less empties the enumeration.
                             FromStringCase{"X|Y", 1, "0|0", false, "0|-1", nullptr},
                             FromStringCase{"X|Y", 1, "-2|0|A", false, "0|-1", nullptr},
                             // Ill-formed texts change nothing.
                             FromStringCase{"X|Y", 1, "abc", false, "2|1|X|Y", ILL_FORMED("abc")},
                             FromStringCase{"X|Y", 1, "3", false, "2|1|X|Y", ILL_FORMED("3")},
                             FromStringCase{"X|Y", 1, "", true, "2|1|X|Y", ILL_FORMED("")},
                             // Selection only: the names stay, the count and names of the text are ignored.
                             FromStringCase{"X|Y|Z", 0, "9|1|X", true, "3|1|X|Y|Z", nullptr},
                             FromStringCase{"X|Y|Z", 0, "0|2", true, "3|2|X|Y|Z", nullptr},
                             FromStringCase{"X|Y", 0, "2|-1", true, "2|-1|X|Y", nullptr},
                             FromStringCase{"X|Y", 1, "2|2", true, "2|0|X|Y", selectionReport},
                             FromStringCase{"X|Y", 1, "2|-7", true, "2|-7|X|Y", nullptr}));

struct ConstructCase {
    const char* names;
    int selected;
    const char* expected;
    const char* report;
};

void PrintTo(const ConstructCase& c, std::ostream* os) {
    *os << '"' << (c.names ? c.names : "(null)") << "\" " << c.selected;
}

class EnumConstruct : public WithHostKernel, public testing::WithParamInterface<ConstructCase> {};

TEST_P(EnumConstruct, SplitsNamesAndChecksTheSelection) {
    const ConstructCase& c = GetParam();
    EXPECT_EQ(text(TARNEnumStruct(c.names, c.selected)), c.expected);
    EXPECT_EQ(errors(), expected(c.report));
}

INSTANTIATE_TEST_SUITE_P(Cases, EnumConstruct,
                         testing::Values(ConstructCase{nullptr, 3, "0|-1", nullptr},
                                         ConstructCase{"", 3, "0|-1", nullptr},
                                         ConstructCase{"solo", 0, "1|0|solo", nullptr},
                                         ConstructCase{"A||B", 1, "3|1|A||B", nullptr},
                                         ConstructCase{"A|B", 2, "2|0|A|B", constructorSelectionReport},
                                         ConstructCase{"A|B", -1, "2|0|A|B", constructorSelectionReport}));

class EnumStruct : public WithHostKernel {};

TEST_F(EnumStruct, DefaultHasNoNamesAndSelectsZero) {
    EXPECT_EQ(text(TARNEnumStruct()), "0|0");
}

TEST_F(EnumStruct, IsEnumStringWantsTwoLeadingNumbers) {
    const struct {
        const char* text;
        bool expected;
    } cases[] = {{"3|1|a|b|c", true}, {"0|-1", true}, {" 2| 3", true}, {"12", false},
                 {"a|b", false},      {"", false},    {"1|x", false},  {"1,2", false}};
    for (const auto& c : cases) EXPECT_EQ(TARNEnumStruct::IsEnumString(c.text), c.expected) << c.text;
}

TEST_F(EnumStruct, SelectTakesTheFirstNameOfSameLengthAndBytes) {
    const struct {
        const char* names;
        const char* wanted;
        bool found;
        int selected;
    } cases[] = {
        {"A|AB|B|B", "B", true, 2}, {"A||B", "", true, 1},   {"A|AB", "ABC", false, -1},
        {"A|AB", "a", false, -1},   {"A|AB", "", false, -1}, {"", "", false, -1},
    };
    for (const auto& c : cases) {
        TARNEnumStruct e(c.names, 0);
        EXPECT_EQ(e.Select(c.wanted), c.found) << c.names << " / " << c.wanted;
        EXPECT_EQ(e.selected, c.selected) << c.names << " / " << c.wanted;
    }
}

TEST_F(EnumStruct, SelectComparesEmbeddedNuls) {
    TARNEnumStruct e("A|B", 0);
    TARNStackedString<40> withNul;
    withNul.init(3, "A\0B");
    (*e.values)(1) = withNul;
    TARNStackedString<40> probe;
    probe.init(3, "A\0C");
    EXPECT_FALSE(e.Select(probe));
    EXPECT_TRUE(e.Select(withNul));
    EXPECT_EQ(e.selected, 1);
}

// The three ways of copying share one contract: independent names, extra words carried.
class EnumCopy : public WithHostKernel, public testing::WithParamInterface<int> {
  protected:
    static void copy(int how, TARNEnumStruct& target, const TARNEnumStruct& source) {
        if (how == 0)
            target.Copy(source);
        else
            target = source;
    }
};

TEST_P(EnumCopy, IsDeepAndKeepsExtraWords) {
    TARNEnumStruct source("red|green|blue", 2);
    (*source.values)[1].SetExtra(42);
    TARNEnumStruct target("x", 0);
    copy(GetParam(), target, source);

    source.FromString("1|0|other", false);
    EXPECT_EQ(text(target), "3|2|red|green|blue");
    EXPECT_EQ(target.Name(1).Extra(), 42);
}

TEST_P(EnumCopy, ReusesLargeEnoughStorageFromPositionZero) {
    TARNEnumStruct target("a|b|c|d|e|f|g", 0);  // capacity 8
    ASSERT_EQ(target.values->Capacity(), 8);
    TARNEnumStruct source("p|q|r|s|t", 4);
    source.values->PopFront();  // "q" now lies in slot 1
    copy(GetParam(), target, source);
    EXPECT_EQ(text(target), "4|4|q|r|s|t");
    EXPECT_EQ(target.values->Capacity(), 8);
    EXPECT_EQ(target.values->Start(), 0);
}

TEST_P(EnumCopy, GrowsSmallStorageToThePowerOfTwoThatHoldsTheNames) {
    const struct {
        const char* names;
        int capacity;
    } cases[] = {{"a|b|c|d|e", 8}, {"a|b|c|d", 4}, {"a", 1}, {"a|b|c|d|e|f|g|h|i", 16}};
    for (const auto& c : cases) {
        TARNEnumStruct target;
        TARNEnumStruct source(c.names, 0);
        copy(GetParam(), target, source);
        EXPECT_EQ(target.values->Capacity(), c.capacity) << c.names;
        EXPECT_EQ(target.values->Start(), 0);
        EXPECT_EQ(target.ToString(), source.ToString());
    }
}

TEST_P(EnumCopy, OntoItselfChangesNothing) {
    TARNEnumStruct e("a|b", 1);
    copy(GetParam(), e, e);
    EXPECT_EQ(text(e), "2|1|a|b");
}

INSTANTIATE_TEST_SUITE_P(CopyOrAssign, EnumCopy, testing::Values(0, 1));

TEST_F(EnumStruct, CopyConstructorIsDeep) {
    TARNEnumStruct source("a|b", 1);
    TARNEnumStruct copy(source);
    source.FromString("1|0|z", false);
    EXPECT_EQ(text(copy), "2|1|a|b");
    EXPECT_NE(copy.values, source.values);
}

}  // namespace
