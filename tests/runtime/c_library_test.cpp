#include "tarn/runtime/c_library.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

struct ItoaCase {
    std::string expected;
    char* (*write)(char*);
};

TEST(CLibrary, ItoaWritesEachWidthInEachBase) {
    const ItoaCase cases[] = {
        {"ffffff01", [](char* b) { return TARN::Itoa(-255, b, 16); }},
        {"-255", [](char* b) { return TARN::Itoa(-255, b, 10); }},
        {"0", [](char* b) { return TARN::Itoa(0, b, 10); }},
        {"0", [](char* b) { return TARN::Itoa(0, b, 2); }},
        {"101", [](char* b) { return TARN::Itoa(5, b, 2); }},
        {"z", [](char* b) { return TARN::Itoa(35, b, 36); }},
        {"-2147483648", [](char* b) { return TARN::Itoa(INT_MIN, b, 10); }},
        {"2147483647", [](char* b) { return TARN::Itoa(INT_MAX, b, 10); }},
        {"37777777777", [](char* b) { return TARN::Itoa(-1, b, 8); }},
        {"ffffffffffffffff", [](char* b) { return TARN::Itoa(-1L, b, 16); }},
        {"-9223372036854775808", [](char* b) { return TARN::Itoa(LONG_MIN, b, 10); }},
        {"1234567890123", [](char* b) { return TARN::Itoa(1234567890123L, b, 10); }},
        {"18446744073709551615", [](char* b) { return TARN::Itoa(ULONG_MAX, b, 10); }},
        {"", [](char* b) { return TARN::Itoa(12, b, 1); }},
    };
    for (const ItoaCase& c : cases) {
        char buffer[72];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(c.write(buffer), buffer);
        EXPECT_EQ(std::string(buffer), c.expected);
    }
}

TEST(CLibrary, StricmpFoldsOnlyAsciiCapitals) {
    struct Case {
        const char* first;
        const char* second;
        int sign;
    };
    const Case cases[] = {
        {"ABC", "abd", -1},   {"", "", 0},   {"Hello", "hELLO", 0},
        {"a", "", 1},         {"", "a", -1}, {"[", "{", -1},  // '[' is not a capital: not folded onto '{'
        {"\xC9", "\xE9", -1},                                 // bytes above ASCII compare unfolded, unsigned
        {"Z", "a", 1},
    };
    for (const Case& c : cases) {
        const int result = TARN::Stricmp(c.first, c.second);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << '"' << c.first << "\" vs \"" << c.second << '"';
    }
}

TEST(CLibrary, CharacterClassesAreLocaleFreeAndTakeAnyByte) {
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        EXPECT_EQ(TARN::IsDigit(c), byte >= '0' && byte <= '9') << byte;
    }
    EXPECT_TRUE(TARN::IsSpace(' '));
    EXPECT_TRUE(TARN::IsSpace('\t'));
    EXPECT_FALSE(TARN::IsSpace('x'));
    EXPECT_FALSE(TARN::IsSpace('\xA0'));  // a negative char must not reach isspace
}

TEST(CLibrary, NumberParsingCutsToTheWrapperWidth) {
    EXPECT_EQ(TARN::Atoi("12abc"), 12);
    EXPECT_EQ(TARN::Atoi("  -7"), -7);
    EXPECT_EQ(TARN::Atoi("4294967297"), 1);  // 2^32 + 1 cut to int
    EXPECT_EQ(TARN::Atoi64("4294967297"), 4294967297L);
    EXPECT_EQ(TARN::Atoi("010"), 10) << "always decimal";

    char* end = nullptr;
    const char* text = "ff tail";
    EXPECT_EQ(TARN::Strtol(text, &end, 16), 255);
    EXPECT_EQ(end, text + 2);
    EXPECT_EQ(TARN::Strtoui64("0xffffffffffffffff", nullptr, 16), ULONG_MAX);
    EXPECT_EQ(TARN::Strtoi64("-0x10", nullptr, 0), -16);
    EXPECT_EQ(TARN::Strtoul("42", nullptr, 10), 42UL);
    EXPECT_DOUBLE_EQ(TARN::Strtod("2.5e3", nullptr), 2500.0);
}

TEST(CLibrary, StringRoutinesForwardToTheCLibrary) {
    EXPECT_EQ(TARN::Strlen(nullptr), 0);
    EXPECT_EQ(TARN::Strlen("abc"), 3);

    char buffer[16] = "path/to";
    char* slash = TARN::Strchr(buffer, '/');
    ASSERT_EQ(slash, buffer + 4);
    *slash = '\\';  // the non-const form hands back a writable pointer
    const char* constant = "a.b";
    EXPECT_EQ(TARN::Strchr(constant, '.'), constant + 1);
    EXPECT_EQ(TARN::Strchr(constant, 'z'), nullptr);
    EXPECT_EQ(TARN::Strstr(constant, ".b"), constant + 1);

    char copy[8];
    TARN::Strncpy(copy, "abcdef", 3);
    copy[3] = '\0';
    EXPECT_STREQ(copy, "abc");
    EXPECT_LT(TARN::Strncmp("abcX", "abcY", 4), 0);
    EXPECT_EQ(TARN::Strncmp("abcX", "abcY", 3), 0);

    char* duplicate = TARN::Strdup("dup");
    EXPECT_STREQ(duplicate, "dup");
    free(duplicate);
}

// Cut to an int, a text of 2 GiB or more read as negative (or, past 4 GiB, as short), and the
// string sized by it wrote its terminator far outside. TARN::Strlen hands its count through
// this check; a real text that long would cost seconds of page faults to build.
TEST(CLibrary, LengthsBeyondIntMaxAreRefusedNotCut) {
    EXPECT_EQ(TARNPrivate::LengthAsInt(0), 0);
    EXPECT_EQ(TARNPrivate::LengthAsInt(INT_MAX), INT_MAX);
    for (unsigned long bytes : {static_cast<unsigned long>(INT_MAX) + 1, 1UL << 32, (1UL << 32) + 3, ~0UL}) {
        EXPECT_THROW(TARNPrivate::LengthAsInt(bytes), std::length_error) << bytes;
    }
}

TEST(CLibrary, FloatingHelpers) {
    double integral = 0;
    EXPECT_DOUBLE_EQ(TARN::Modf(-3.25, &integral), -0.25);
    EXPECT_DOUBLE_EQ(integral, -3.0);
    EXPECT_EQ(TARN::Fabs(-0.0), 0.0);
    EXPECT_FALSE(std::signbit(TARN::Fabs(-0.0)));
    EXPECT_EQ(TARN::Fabs(-2.5), 2.5);
}
