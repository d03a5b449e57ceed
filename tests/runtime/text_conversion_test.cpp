#include "tarn/runtime/text_conversion.hpp"

#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/streamed_string.hpp"

using String = TARNStackedString<40>;

namespace {

// Takes over a buffer returned by TARNIconv.
std::string takeUTF8(char* buffer) {
    if (buffer == nullptr) return "<null>";
    std::string text(buffer);
    TARNIconv::releaseUTF8(buffer);
    return text;
}

std::wstring takeWide(wchar_t* buffer) {
    if (buffer == nullptr) return L"<null>";
    std::wstring text(buffer);
    TARNIconv::releaseWide(buffer);
    return text;
}

bool environmentLocaleIsUTF8() {
    const char* all = std::getenv("LC_ALL");
    return all != nullptr && (std::strstr(all, "UTF-8") != nullptr || std::strstr(all, "utf8") != nullptr);
}

}  // namespace

TEST(TextConversion, UTF8LocaleCopiesTextBothWays) {
    // The suites run with LC_ALL=C.UTF-8.
    if (!environmentLocaleIsUTF8()) GTEST_SKIP() << "needs a UTF-8 locale in LC_ALL";
    EXPECT_TRUE(TARNIconv::isLocaleUTF8());
    EXPECT_EQ(takeUTF8(TARNIconv::localeToUTF8("d\xc3\xa9j\xc3\xa0 vu")), "d\xc3\xa9j\xc3\xa0 vu");
    EXPECT_EQ(takeUTF8(TARNIconv::UTF8ToLocale("caf\xc3\xa9")), "caf\xc3\xa9");
    EXPECT_EQ(takeUTF8(TARNIconv::localeToUTF8("")), "");
}

// The library takes the environment's locale when it is loaded, yet keeps the point as
// the decimal separator: numbers it writes and reads must not change with the user's
// language. Only a fresh process shows what loading does, so the check runs in a child
// (the test program started again) whose environment names a decimal-comma locale.
TEST(TextConversion, NumbersKeepThePointWhateverTheLocale) {
    const char* const commaLocale = "de_DE.UTF-8";
    locale_t comma = newlocale(LC_ALL_MASK, commaLocale, static_cast<locale_t>(nullptr));
    if (comma == static_cast<locale_t>(nullptr)) {
        GTEST_SKIP() << commaLocale << " is not installed: scripts/setup installs it (locales-all)";
    }
    const std::string separator = nl_langinfo_l(RADIXCHAR, comma);
    freelocale(comma);
    ASSERT_EQ(separator, ",") << commaLocale << " must write a decimal comma, or this test proves nothing";

    const char* saved = std::getenv("LC_ALL");
    const std::string savedLocale = saved ? saved : "";
    const std::string savedStyle = GTEST_FLAG_GET(death_test_style);
    setenv("LC_ALL", commaLocale, 1);
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child starts from exec: a fresh load
    EXPECT_EXIT(
        {
            char printed[32];
            std::snprintf(printed, sizeof printed, "%.1f", 2.5);
            TARNStreamedString streamed;
            streamed << 2.5;
            char* end = nullptr;
            const char number[] = "2.5";
            TARN::Strtod(number, &end);
            std::fprintf(stderr, "printed %s, streamed %s, read %d characters, text locale %s\n", printed,
                         streamed.c_str(), static_cast<int>(end - number), std::setlocale(LC_CTYPE, nullptr));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "printed 2\\.5, streamed 2\\.5, read 3 characters, text locale de_DE\\.UTF-8");
    GTEST_FLAG_SET(death_test_style, savedStyle);
    if (saved) {
        setenv("LC_ALL", savedLocale.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

TEST(TextConversion, WideTextCarriesNoByteOrderMark) {
    EXPECT_EQ(takeWide(TARNIconv::UTF8ToWide("abc")), L"abc");
    EXPECT_EQ(takeWide(TARNIconv::UTF8ToWide("a\xc3\xa9\xf0\x9f\x98\x80")), L"a\u00e9\U0001F600");
    EXPECT_EQ(takeWide(TARNIconv::UTF8ToWide("")), L"");
    EXPECT_EQ(takeUTF8(TARNIconv::wideToUTF8(L"x\u00e9\U0001F600")), "x\xc3\xa9\xf0\x9f\x98\x80");
    // Repeated conversions stay the same: nothing is carried over from one to the next.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(takeWide(TARNIconv::UTF8ToWide("ab")), L"ab");
}

TEST(TextConversion, InvalidOrIncompleteUTF8GivesNull) {
    for (const char* text : {"a\xff", "\xc3", "ab\xe2\x82", "\xc0\xaf"}) {
        EXPECT_EQ(TARNIconv::UTF8ToWide(text), nullptr) << text;
    }
    EXPECT_EQ(takeWide(TARNIconv::UTF8ToWide("ok")), L"ok");  // a failure leaves no state behind
}

TEST(TextConversion, NullInputsGiveNull) {
    EXPECT_EQ(TARNIconv::localeToUTF8(nullptr), nullptr);
    EXPECT_EQ(TARNIconv::UTF8ToLocale(nullptr), nullptr);
    EXPECT_EQ(TARNIconv::wideToUTF8(nullptr), nullptr);
    EXPECT_EQ(TARNIconv::UTF8ToWide(nullptr), nullptr);
    EXPECT_EQ(TARNIconv::convert(nullptr, "a", 1), nullptr);
    TARNIconv::releaseUTF8(nullptr);
    TARNIconv::releaseLocale(nullptr);
    TARNIconv::releaseWide(nullptr);
    TARNIconv::close(nullptr);
}

TEST(TextConversion, IntoStringLeavesItUnchangedOnFailure) {
    String result("before");
    EXPECT_EQ(TARNIconv::localeToUTF8(nullptr, result), 0);
    EXPECT_EQ(TARNIconv::wideToUTF8(nullptr, result), 0);
    // An unpaired surrogate is no character.
    const wchar_t surrogate[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(TARNIconv::wideToUTF8(surrogate, result), 0);
    EXPECT_STREQ(result.c_str(), "before");

    EXPECT_EQ(TARNIconv::wideToUTF8(L"\u00e9t\u00e9", result), 1);
    EXPECT_STREQ(result.c_str(), "\xc3\xa9t\xc3\xa9");
    if (TARNIconv::isLocaleUTF8()) {
        EXPECT_EQ(TARNIconv::localeToUTF8("plain", result), 1);
        EXPECT_STREQ(result.c_str(), "plain");
    }
}

struct ColumnsCase {
    const char* name;
    const char* text;
    int columns;
};

// Test names (and the names CTest gives them) show the case's name, not the bytes of the struct.
void PrintTo(const ColumnsCase& c, std::ostream* os) {
    *os << c.name;
}

class TextConversionColumns : public ::testing::TestWithParam<ColumnsCase> {};

TEST_P(TextConversionColumns, CountCharactersNotBytes) {
    EXPECT_EQ(TARNIconv::NbColumns(String(GetParam().text)), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextConversionColumns,
                         ::testing::Values(ColumnsCase{"Ascii", "abc", 3},
                                           ColumnsCase{"TwoByteCharacter", "a\xc3\xa9z", 3},
                                           ColumnsCase{"FourByteCharacter", "\xf0\x9f\x98\x80", 1},
                                           ColumnsCase{"OneCharacter", "x", 1}, ColumnsCase{"Empty", "", -1},
                                           ColumnsCase{"InvalidUtf8", "a\xff", -1}),
                         [](const ::testing::TestParamInfo<ColumnsCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(TextConversion, OutputLongerThanInputGrowsTheBuffer) {
    TARNIconvHandle* latin1 = TARNIconv::open("ISO-8859-1", "UTF-8");
    ASSERT_NE(latin1, nullptr);
    // Every accented letter takes two bytes in UTF-8: the output is twice the input.
    const std::string input(100, '\xe9');
    char* output = TARNIconv::convert(latin1, input.data(), input.size());
    ASSERT_NE(output, nullptr);
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "\xc3\xa9";
    // Converted without a terminator, the result still reads as a terminated text.
    EXPECT_EQ(std::string(output), expected);
    TARNIconv::releaseUTF8(output);

    EXPECT_EQ(takeUTF8(TARNIconv::convert(latin1, "", 0)), "");
    TARNIconv::close(latin1);
}

TEST(TextConversion, OpenTakesSourceThenTarget) {
    TARNIconvHandle* toLatin1 = TARNIconv::open("UTF-8", "ISO-8859-1");
    ASSERT_NE(toLatin1, nullptr);
    EXPECT_EQ(takeUTF8(TARNIconv::convert(toLatin1, "\xc3\xa9t\xc3\xa9", 6)), "\xe9t\xe9");
    // A character the target cannot hold fails the conversion.
    EXPECT_EQ(TARNIconv::convert(toLatin1, "\xe2\x82\xac", 3), nullptr);
    TARNIconv::close(toLatin1);

    EXPECT_EQ(TARNIconv::open("UTF-8", "NO-SUCH-CODE-SET"), nullptr);
    EXPECT_EQ(TARNIconv::open(nullptr, "UTF-8"), nullptr);
}

TEST(TextConversion, RestartAfterGrowthBeginsInTheInitialShiftState) {
    // UTF-8 to ISO-2022-JP switches between character sets with escape sequences, so the
    // converter has a state; "a" then a kanji outgrows the 5-byte first buffer inside the
    // kanji set. The second attempt must start in the initial (ASCII) set again.
    TARNIconvHandle* jis = TARNIconv::open("UTF-8", "ISO-2022-JP");
    if (jis == nullptr) GTEST_SKIP() << "ISO-2022-JP is not available";
    const char input[] = "a\xe6\x97\xa5";  // "a" and the kanji for "day"
    EXPECT_EQ(takeUTF8(TARNIconv::convert(jis, input, sizeof input)), "a\x1b$BF|\x1b(B");
    // A second kanji cut in its middle: the incomplete input fails with the converter in
    // the kanji set, and the next conversion must not carry that over.
    EXPECT_EQ(TARNIconv::convert(jis, "a\xe6\x97\xa5\xe6\x97", 6), nullptr);
    EXPECT_EQ(takeUTF8(TARNIconv::convert(jis, input + 1, sizeof input - 1)), "\x1b$BF|\x1b(B");
    TARNIconv::close(jis);
}

TEST(TextConversion, ThreadsConvertConcurrently) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 200; ++i) {
                const std::string text = "thread " + std::to_string(t) + " \xc3\xa9 " + std::to_string(i);
                wchar_t* wide = TARNIconv::UTF8ToWide(text.c_str());
                char* back = TARNIconv::wideToUTF8(wide);
                if (back == nullptr || text != back) ++failures[t];
                TARNIconv::releaseUTF8(back);
                TARNIconv::releaseWide(wide);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}
