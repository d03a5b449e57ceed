#include "tarn/runtime/stacked_string.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

using String = TARNStackedString<40>;

namespace {

std::string text(const String& s) {
    return std::string(s.c_str(), s.Length());
}

std::vector<std::string> pieces(const TARNArray<String>& array) {
    std::vector<std::string> out;
    for (int i = 0; i < array.Size(); ++i) out.push_back(text(array[i]));
    return out;
}

// Checks the invariants every string keeps: NUL at its length, inline exactly while the
// capacity is 40, room for the terminator.
void expectSound(const String& s) {
    EXPECT_EQ(s.c_str()[s.Length()], '\0');
    EXPECT_EQ(s.IsInline(), s.Capacity() == 40);
    EXPECT_LT(s.Length(), s.Capacity());
}

}  // namespace

struct CapacityCase {
    int length;
    int capacity;
};

std::string CaseName(const CapacityCase& c) {
    return "Length" + std::to_string(c.length);
}
// Test names (and the names CTest gives them) show the case, not the bytes of the struct.
void PrintTo(const CapacityCase& c, std::ostream* os) {
    *os << CaseName(c);
}

class StackedStringCapacity : public ::testing::TestWithParam<CapacityCase> {};

TEST_P(StackedStringCapacity, PlacedTextGetsTheCapacityRule) {
    const std::string source(GetParam().length, 'x');
    String constructed(source.c_str());
    EXPECT_EQ(constructed.Length(), GetParam().length);
    EXPECT_EQ(constructed.Capacity(), GetParam().capacity);
    EXPECT_EQ(text(constructed), source);
    expectSound(constructed);

    String assigned("short");
    assigned = source.c_str();
    EXPECT_EQ(assigned.Capacity(), GetParam().capacity);

    String initialised;
    initialised.init(GetParam().length, source.c_str());
    EXPECT_EQ(initialised.Capacity(), GetParam().capacity);
}

INSTANTIATE_TEST_SUITE_P(Lengths, StackedStringCapacity,
                         ::testing::Values(CapacityCase{0, 40}, CapacityCase{39, 40}, CapacityCase{40, 80},
                                           CapacityCase{78, 80}, CapacityCase{79, 120}, CapacityCase{80, 120},
                                           CapacityCase{119, 160}),
                         [](const auto& info) { return CaseName(info.param); });

TEST(StackedString, NullTextGivesTheEmptyInlineString) {
    String s(nullptr);
    EXPECT_EQ(s.Length(), 0);
    EXPECT_EQ(s.Capacity(), 40);
    EXPECT_STREQ(s.c_str(), "");
    s = "abc";
    s = static_cast<const char*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    expectSound(s);
}

TEST(StackedString, AppendGrowsWhenTheNewLengthReachesTheCapacity) {
    String s(std::string(39, 'a').c_str());
    s += "b";
    EXPECT_EQ(s.Length(), 40);
    EXPECT_EQ(s.Capacity(), 80);

    s.concat(39, std::string(39, 'c').c_str());  // 79 characters still fit 80 bytes
    EXPECT_EQ(s.Length(), 79);
    EXPECT_EQ(s.Capacity(), 80);
    s += "d";
    EXPECT_EQ(s.Length(), 80);
    EXPECT_EQ(s.Capacity(), 120);
    EXPECT_EQ(text(s), std::string(39, 'a') + "b" + std::string(39, 'c') + "d");
    expectSound(s);
}

TEST(StackedString, HeapTextStaysOnTheHeapUntilAssigned) {
    String s(std::string(50, 'a').c_str());
    s.init(0, "");
    EXPECT_TRUE(s.IsInline());
    s = std::string(50, 'a').c_str();
    s += "";
    EXPECT_FALSE(s.IsInline());
    s = "tiny";
    EXPECT_TRUE(s.IsInline());
    EXPECT_EQ(text(s), "tiny");
}

TEST(StackedString, InitTakesExactBytesIncludingNuls) {
    String s;
    s.init(5, "ab\0cd");
    EXPECT_EQ(s.Length(), 5);
    EXPECT_EQ(text(s), std::string("ab\0cd", 5));
    s.concat(2, "\0e");
    EXPECT_EQ(text(s), std::string("ab\0cd\0e", 7));
    expectSound(s);
}

TEST(StackedString, InitWithNullTextIsEmptyInABufferSizedForTheLength) {
    String s("abc");
    s.SetExtra(7);
    s.init(50, nullptr);
    EXPECT_EQ(s.Length(), 0);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(s.Capacity(), 80);
    EXPECT_EQ(s.Extra(), 0);
    s.init(10, nullptr);
    EXPECT_EQ(s.Capacity(), 40);
}

TEST(StackedString, NullOrEmptyAppendsChangeNothing) {
    String s("abc");
    s.concat(3, nullptr);
    s += static_cast<const char*>(nullptr);
    s.concat(0, "xyz");
    s.concat(-4, "xyz");
    EXPECT_EQ(text(s), "abc");
    EXPECT_EQ(s.Capacity(), 40);
}

// Lengths and capacities are ints. A text that would pass them is refused before a byte is
// read, written or allocated: summed as ints the length wrapped round to negative, skipped
// growth and overwrote the heap. The one-byte text stands for a text as long as each call
// claims; it is never read, so nothing here needs gigabytes.
TEST(StackedString, TextsBeyondTheLargestLengthAreRefusedAndChangeNothing) {
    EXPECT_EQ(String::MaxLength, INT_MAX - 9);
    EXPECT_EQ(String::CapacityFor(String::MaxLength), INT_MAX - 7);  // the last multiple of 40
    for (int n : {String::MaxLength + 1, INT_MAX}) {
        EXPECT_THROW(String::CapacityFor(n), std::length_error) << n;
    }

    for (const std::string& held : {std::string("abc"), std::string(60, 'h')}) {
        String s(held.c_str());
        const int capacity = s.Capacity();
        const int room = String::MaxLength - s.Length();
        for (int n : {room + 1, INT_MAX - s.Length(), INT_MAX - s.Length() + 1, INT_MAX}) {
            EXPECT_THROW(s.concat(n, "x"), std::length_error) << held.size() << " + " << n;
        }
        EXPECT_THROW(s.init(INT_MAX, "x"), std::length_error);
        EXPECT_THROW(s.init(String::MaxLength + 1, nullptr), std::length_error);
        EXPECT_EQ(text(s), held);
        EXPECT_EQ(s.Capacity(), capacity);
        expectSound(s);
    }
}

// Texts taken from the string's own buffer: each must be read before the buffer is
// released (AddressSanitizer reports the use after free otherwise).
TEST(StackedString, TextFromItsOwnBufferIsCopiedBeforeTheBufferGoes) {
    const std::string longText = std::string(60, 'x') + "tail";

    String heapToInline(longText.c_str());
    heapToInline = heapToInline.c_str() + 30;  // 34 characters: moves inline
    EXPECT_EQ(text(heapToInline), longText.substr(30));
    EXPECT_TRUE(heapToInline.IsInline());

    String heapToHeap(longText.c_str());
    heapToHeap = heapToHeap.c_str() + 2;
    EXPECT_EQ(text(heapToHeap), longText.substr(2));

    String inlineShift("0123456789");
    inlineShift = inlineShift.c_str() + 2;
    EXPECT_EQ(text(inlineShift), "23456789");

    String doubled(std::string(30, 'y').c_str());  // 60 characters: grows to the heap
    doubled += doubled.c_str();
    EXPECT_EQ(text(doubled), std::string(60, 'y'));

    String heapDoubled(longText.c_str());  // grows from one heap buffer to another
    heapDoubled.concat(heapDoubled.Length(), heapDoubled.c_str());
    EXPECT_EQ(text(heapDoubled), longText + longText);

    String reinit(longText.c_str());
    reinit.init(4, reinit.c_str() + 60);
    EXPECT_EQ(text(reinit), "tail");
}

TEST(StackedString, SelfAssignmentKeepsTheText) {
    String s(std::string(45, 'q').c_str());
    s.SetExtra(3);
    const String& alias = s;
    s = alias;
    EXPECT_EQ(text(s), std::string(45, 'q'));
    EXPECT_EQ(s.Extra(), 3);
}

TEST(StackedString, ExtraWordIsCopiedOnlyByCopying) {
    String source("abc");
    source.SetExtra(42);

    String copied;
    copied = source;
    EXPECT_EQ(copied.Extra(), 42);
    EXPECT_EQ(String(source).Extra(), 42);

    copied = "text";
    EXPECT_EQ(copied.Extra(), 0);

    EXPECT_EQ((source + static_cast<const char*>(nullptr)).Extra(), 42);
    EXPECT_EQ((static_cast<const char*>(nullptr) + source).Extra(), 42);
    EXPECT_EQ((source + "d").Extra(), 0);
    EXPECT_EQ(("d" + source).Extra(), 0);
}

TEST(StackedString, ConcatenationPlacesTheWholeText) {
    const String forty(std::string(40, 'a').c_str());
    const String joined = forty + std::string(39, 'b').c_str();
    EXPECT_EQ(joined.Length(), 79);
    EXPECT_EQ(joined.Capacity(), 120);  // placed by the capacity rule, not appended
    EXPECT_EQ(text("<" + String("mid") + ">"), "<mid>");
    EXPECT_EQ(text(String("ab") + String("cd")), "abcd");
}

TEST(StackedString, MoveTakesTheBufferAndEmptiesTheSource) {
    String source(std::string(50, 'm').c_str());
    const char* buffer = source.c_str();
    String target(std::move(source));
    EXPECT_EQ(target.c_str(), buffer);
    EXPECT_TRUE(source.IsEmpty());  // NOLINT(bugprone-use-after-move): moved-from state is defined
    expectSound(source);

    String small("small");
    target = std::move(small);
    EXPECT_EQ(text(target), "small");
    expectSound(target);
}

TEST(StackedString, ComparesLengthAndBytes) {
    String withNul;
    withNul.init(3, "a\0b");
    EXPECT_TRUE(String("abc") == "abc");
    EXPECT_TRUE(String("abc") == String("abc"));
    EXPECT_FALSE(String("abc") == "abcd");
    EXPECT_FALSE(String("abcd") == "abc");
    EXPECT_FALSE(withNul == "a");
    EXPECT_FALSE(withNul == String("a"));
    EXPECT_TRUE(String("") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(String("ab") != "ac");
    EXPECT_LT(String("ab"), String("abc"));
    EXPECT_LT(String("z"), String("\xc3\xa9"));  // bytes compare as unsigned
}

struct SplitCase {
    const char* name;
    const char* text;
    std::vector<std::string> pieces;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.name;
}

class StackedStringSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(StackedStringSplit, KSeparatorsGiveKPlusOnePieces) {
    EXPECT_EQ(pieces(String(GetParam().text).Split(',')), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Comma, StackedStringSplit,
    ::testing::Values(SplitCase{"Empty", "", {""}}, SplitCase{"NoSeparator", "abc", {"abc"}},
                      SplitCase{"TwoPieces", "a,b", {"a", "b"}}, SplitCase{"LoneSeparator", ",", {"", ""}},
                      SplitCase{"EmptyPiecesAtBothEnds", ",a,,", {"", "a", "", ""}},
                      SplitCase{"EmptyPiecesInsideAndAtTheEnd", "a,,b,", {"a", "", "b", ""}},
                      SplitCase{
                          "MorePiecesThanTheFirstCapacity",
                          "one,two,three,four,five,six,seven,eight,nine,ten",
                          {"one", "two", "three", "four", "five", "six", "seven", "eight", "nine", "ten"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(StackedString, SplitComparesBytesAndKeepsLongPieces) {
    const std::string longPiece(70, 'L');
    const String s((longPiece + "\xff" + "x").c_str());
    EXPECT_EQ(pieces(s.Split('\xff')), (std::vector<std::string>{longPiece, "x"}));
    EXPECT_EQ(pieces(String("a/b").Split('/')), (std::vector<std::string>{"a", "b"}));
}
