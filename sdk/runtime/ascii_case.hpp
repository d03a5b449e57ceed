// Case of the ASCII letters A to Z only.
#pragma once

namespace TARNPrivate {
// Never through the locale: names, code-set names and channel codes must match the same way
// in every locale (tolower in a Turkish locale does not turn 'I' into 'i'), and bytes of
// UTF-8 sequences must pass unchanged.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace TARNPrivate
