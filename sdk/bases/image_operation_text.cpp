#include "bases/image_operation_text.hpp"

#include <locale.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/ascii_case.hpp"
#include "tarn/runtime/streamed_string.hpp"

namespace TARNImageText {

namespace {

// The blanks strtol and strtod skip in the "C" locale.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips leading blanks and reads an optional sign; the rest of the token is left.
std::string_view unsigned_part(std::string_view token, bool& negative) {
    std::size_t i = 0;
    while (i < token.size() && isBlank(token[i])) ++i;
    negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    return token.substr(i);
}

}  // namespace

bool TokenReader::Next(std::string_view& token) {
    if (*at == '\0') return false;
    const std::size_t length = std::strcspn(at, Delimiters);
    token = std::string_view(at, length);
    at += length;
    if (*at != '\0') ++at;
    return true;
}

int ParseInteger(std::string_view token) {
    bool negative = false;
    const std::string_view digits = unsigned_part(token, negative);
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        // Clamped as it grows: a long run of digits must neither wrap nor overflow.
        value = std::min<long>(value * 10 + (c - '0'), static_cast<long>(INT_MAX) + 1);
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

double ParseDouble(std::string_view token) {
    // strtod itself, on a NUL-terminated copy, through a locale of its own: the process's
    // LC_NUMERIC may well want a decimal comma.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    const std::string text(token);
    return strtod_l(text.c_str(), nullptr, cLocale);
}

std::string UpperCased(const char* text) {
    std::string upper(text != nullptr ? text : "");
    for (char& c : upper) c = TARNPrivate::AsciiUpper(c);
    return upper;
}

TARNStackedString<40> ClicksText(const TARNPoint2D* points, int count) {
    TARNStreamedString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text << ";";
        text << points[i].x << "," << points[i].y;
    }
    return TARNStackedString<40>(text.c_str());
}

TARNStackedString<40> RegionText(const _IplROI* region) {
    TARNStreamedString text;
    if (region != nullptr)
        text << static_cast<long>(region->xOffset) << ";" << static_cast<long>(region->yOffset) << ";"
             << static_cast<long>(region->width) << ";" << static_cast<long>(region->height) << ";"
             << static_cast<long>(region->coi);
    return TARNStackedString<40>(text.c_str());
}

}  // namespace TARNImageText
