#include "tarn/runtime/base64.hpp"

#include <climits>
#include <stdexcept>
#include <vector>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// 6-bit value of each character, -1 outside the alphabet.
struct DecodeTable {
    signed char value[256];
    constexpr DecodeTable() : value() {
        for (int c = 0; c < 256; ++c) value[c] = -1;
        for (int i = 0; i < 64; ++i)
            value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
    }
};
constexpr DecodeTable kDecode;

// Replaces the output by `text`, leaving the buffer the string would have if the text had
// been appended one character at a time: appending all but the last character at once and
// then the last one gives exactly that capacity, without regrowing every 40 characters.
void Replace(TARNStackedString<40>& out, const std::vector<char>& text) {
    // A string holds at most INT_MAX - 1 characters; a longer result cannot be stored.
    if (text.size() >= INT_MAX) throw std::length_error("TARNBase64: result too long for a string");
    out = "";
    const int n = static_cast<int>(text.size());
    if (n == 0) return;
    out.concat(n - 1, text.data());
    out.concat(1, text.data() + n - 1);
}

}  // namespace

void TARNBase64::Encode(const TARNStackedString<40>& in, TARNStackedString<40>& out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(in.c_str());
    const long n = in.Length();
    std::vector<char> text;
    text.reserve(static_cast<size_t>((n + 2) / 3 * 4));
    long i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned long group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(kAlphabet[(group >> 6) & 63]);
        text.push_back(kAlphabet[group & 63]);
    }
    if (n - i == 1) {
        const unsigned long group = bytes[i] << 16;
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back('=');
        text.push_back('=');
    } else if (n - i == 2) {
        const unsigned long group = bytes[i] << 16 | bytes[i + 1] << 8;
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(kAlphabet[(group >> 6) & 63]);
        text.push_back('=');
    }
    // The input is fully read before the output is touched, so `in` may be `out`.
    Replace(out, text);
}

void TARNBase64::Decode(const TARNStackedString<40>& in, TARNStackedString<40>& out) {
    const auto* chars = reinterpret_cast<const unsigned char*>(in.c_str());
    const long n = in.Length();
    std::vector<char> bytes;
    bytes.reserve(static_cast<size_t>(n / 4 * 3 + 2));
    unsigned long group = 0;
    int pending = 0;
    for (long i = 0; i < n; ++i) {
        const int value = kDecode.value[chars[i]];
        if (value < 0) continue;
        group = group << 6 | static_cast<unsigned long>(value);
        if (++pending == 4) {
            bytes.push_back(static_cast<char>(group >> 16));
            bytes.push_back(static_cast<char>(group >> 8));
            bytes.push_back(static_cast<char>(group));
            group = 0;
            pending = 0;
        }
    }
    if (pending == 2) {
        bytes.push_back(static_cast<char>(group >> 4));
    } else if (pending == 3) {
        bytes.push_back(static_cast<char>(group >> 10));
        bytes.push_back(static_cast<char>(group >> 2));
    }
    Replace(out, bytes);
}
