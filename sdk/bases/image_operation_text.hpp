// The texts of the image-processing properties: lists of numbers split at delimiters,
// read the same way in every locale, and the click and region texts written back.
#pragma once

#include <string>
#include <string_view>

#include "tarn/bases/image_operation_records.hpp"
#include "tarn/runtime/ipl_image.hpp"
#include "tarn/runtime/stacked_string.hpp"

namespace TARNImageText {

// Every character of this set ends a token: comma, semicolon, colon, line feed, tab.
inline constexpr const char* Delimiters = ",;:\n\t";

// Hands out the tokens of a text one after the other. A token starts where the previous
// one's delimiter was skipped and runs up to the next delimiter or the text's end; two
// adjacent delimiters give an empty token.
class TokenReader {
  public:
    // A null text is the empty text.
    explicit TokenReader(const char* text) : at(text != nullptr ? text : "") {}
    // False, and nothing read, when the text ends where the next token would begin.
    bool Next(std::string_view& token);

  private:
    const char* at;
};

// As strtol with base 10 in the "C" locale: leading blanks, a sign, the digits up to the
// first that is not one; nothing convertible gives 0. Values beyond an int are clamped.
int ParseInteger(std::string_view token);
// As strtod in the "C" locale, hexadecimal, infinities, overflow and underflow included; the
// decimal point is always '.', whatever the process's locale says; nothing convertible
// gives 0.
double ParseDouble(std::string_view token);

// The text with only a to z turned to upper case; null is the empty text.
std::string UpperCased(const char* text);

// "x,y;x,y" with "%.10g" numbers; empty for no point.
TARNStackedString<40> ClicksText(const TARNPoint2D* points, int count);
// "x;y;width;height;coi"; empty for no region.
TARNStackedString<40> RegionText(const _IplROI* region);

}  // namespace TARNImageText
