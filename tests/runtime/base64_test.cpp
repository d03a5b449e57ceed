#include "tarn/runtime/base64.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TARNStackedString<40> Bytes(const std::string& s) {
    TARNStackedString<40> out;
    out.init(static_cast<int>(s.size()), s.data());
    return out;
}

std::string Text(const TARNStackedString<40>& s) {
    return std::string(s.c_str(), s.Length());
}

std::string Encoded(const std::string& bytes) {
    TARNStackedString<40> out;
    TARNBase64::Encode(Bytes(bytes), out);
    return Text(out);
}

std::string Decoded(const std::string& text) {
    TARNStackedString<40> out;
    TARNBase64::Decode(Bytes(text), out);
    return Text(out);
}

struct Vector {
    std::string bytes;
    std::string text;
};

// RFC 4648 section 10, then bytes that reach both ends of the alphabet and zero bytes.
const Vector kVectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
    {"abc", "YWJj"},
    {"ab", "YWI="},
    {"a", "YQ=="},
    {std::string("\0\0\0", 3), "AAAA"},
    {std::string("\0", 1), "AA=="},
    {"\xff\xff\xff", "////"},
    {"\xfb\xff", "+/8="},
    {std::string("a\0b", 3), "YQBi"},
};

TEST(TARNBase64, EncodesTheStandardVectors) {
    for (const Vector& v : kVectors)
        EXPECT_EQ(v.text, Encoded(v.bytes)) << "bytes of length " << v.bytes.size();
}

TEST(TARNBase64, DecodesTheStandardVectors) {
    for (const Vector& v : kVectors) EXPECT_EQ(v.bytes, Decoded(v.text)) << v.text;
}

TEST(TARNBase64, EveryByteValueRoundTripsWithoutLineBreaks) {
    std::string all;
    for (int round = 0; round < 3; ++round)
        for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    // Three offsets so that each byte value sits in every position of a 3-byte group,
    // and the last group is full, one byte short and two bytes short.
    for (size_t drop = 0; drop < 3; ++drop) {
        const std::string bytes = all.substr(drop);
        const std::string text = Encoded(bytes);
        EXPECT_EQ((bytes.size() + 2) / 3 * 4, text.size());
        EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
        EXPECT_EQ(bytes, Decoded(text));
    }
}

TEST(TARNBase64, DecodeSkipsCharactersOutsideTheAlphabet) {
    const struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"YW Jj", "abc"},
        {"YW\nJ\r\nj", "abc"},
        {"Y!W@J#j-_", "abc"},
        {"\xc3\xa9YWJj\x80", "abc"},  // bytes above 0x7F are not alphabet characters either
        {"YQ", "a"},                  // padding is not required
        {"YWI", "ab"},
        {"Y", ""},  // a lone value cannot make a byte
        {"YWJjY", "abc"},
        {"====", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.bytes, Decoded(c.text)) << c.text;
}

TEST(TARNBase64, OutputIsReplacedNotAppended) {
    TARNStackedString<40> out("a text long enough to have moved to a heap buffer of its own");
    TARNBase64::Encode(Bytes("abc"), out);
    EXPECT_EQ("YWJj", Text(out));
    EXPECT_TRUE(out.IsInline());
    TARNBase64::Decode(Bytes("YQ=="), out);
    EXPECT_EQ("a", Text(out));
}

TEST(TARNBase64, InputMayBeTheOutput) {
    TARNStackedString<40> s = Bytes("a text long enough to have moved to a heap buffer of its own");
    TARNBase64::Encode(s, s);
    EXPECT_EQ("YSB0ZXh0IGxvbmcgZW5vdWdoIHRvIGhhdmUgbW92ZWQgdG8gYSBoZWFwIGJ1ZmZlciBvZiBpdHMgb3du", Text(s));
    TARNBase64::Decode(s, s);
    EXPECT_EQ("a text long enough to have moved to a heap buffer of its own", Text(s));
}

TEST(TARNBase64, ResultGrowsAsWhenAppendedCharacterByCharacter) {
    // Appending one character at a time regrows at each multiple of 40, so 79 characters
    // end in an 80-byte buffer where one append of 79 would take 120.
    const struct {
        int length;
        int capacity;
    } cases[] = {{39, 40}, {40, 80}, {79, 80}, {80, 120}};
    for (const auto& c : cases) {
        TARNStackedString<40> text, bytes;
        TARNBase64::Encode(Bytes(std::string(c.length, 'x')), text);
        TARNBase64::Decode(text, bytes);
        EXPECT_EQ(c.length, bytes.Length());
        EXPECT_EQ(c.capacity, bytes.Capacity()) << "length " << c.length;
    }
}

}  // namespace
