#include "tarn/runtime/stacked_string.hpp"

#include <cstring>

#include "tarn/runtime/c_library.hpp"

namespace {

int textLength(const char* text) {
    return TARN::Strlen(text);
}

// Length of a text of a + b characters (both non-negative). Summed as ints, two long
// texts would wrap round to a negative length, which skips growth and writes past the buffer.
int lengthOfBoth(int a, int b) {
    return TARNPrivate::LengthAsInt(static_cast<unsigned long>(a) + static_cast<unsigned long>(b));
}

}  // namespace

template <int N>
TARNStackedString<N>::TARNStackedString() : length(0), capacity(N), extra(0), data(inlineData) {
    inlineData[0] = '\0';
}

template <int N>
TARNStackedString<N>::TARNStackedString(const char* text) : TARNStackedString() {
    place(text, textLength(text), nullptr, 0);
}

template <int N>
TARNStackedString<N>::TARNStackedString(const TARNStackedString& other) : TARNStackedString() {
    place(other.data, other.length, nullptr, 0);
    extra = other.extra;
}

template <int N>
TARNStackedString<N>::TARNStackedString(TARNStackedString&& other) noexcept : TARNStackedString() {
    *this = std::move(other);
}

template <int N>
TARNStackedString<N>::~TARNStackedString() {
    if (data != inlineData) delete[] data;
}

template <int N>
TARNStackedString<N>& TARNStackedString<N>::operator=(const TARNStackedString& other) {
    if (this == &other) return *this;
    place(other.data, other.length, nullptr, 0);
    extra = other.extra;
    return *this;
}

template <int N>
TARNStackedString<N>& TARNStackedString<N>::operator=(TARNStackedString&& other) noexcept {
    if (this == &other) return *this;
    if (other.data == other.inlineData) {
        // Inline texts have nowhere to be taken from: copy the bytes (and the NUL).
        if (data != inlineData) delete[] data;
        TARN::Memcpy(inlineData, other.inlineData, other.length + 1);
        data = inlineData;
    } else {
        if (data != inlineData) delete[] data;
        data = other.data;
        other.data = other.inlineData;
    }
    length = other.length;
    capacity = other.capacity;
    extra = other.extra;
    other.length = 0;
    other.capacity = N;
    other.extra = 0;
    other.inlineData[0] = '\0';
    return *this;
}

template <int N>
TARNStackedString<N>& TARNStackedString<N>::operator=(const char* text) {
    place(text, textLength(text), nullptr, 0);
    extra = 0;
    return *this;
}

template <int N>
void TARNStackedString<N>::init(int n, const char* text) {
    if (n < 0) n = 0;
    if (text) {
        place(text, n, nullptr, 0);
    } else {
        // Empty text, but in the buffer the length asked for would have had (sized first:
        // a length no buffer holds must leave the string as it was).
        const int fresh = n > N - 1 ? CapacityFor(n) : N;
        place(nullptr, 0, nullptr, 0);
        if (fresh > N) {
            data = new char[fresh];
            capacity = fresh;
            data[0] = '\0';
        }
    }
    extra = 0;
}

template <int N>
void TARNStackedString<N>::place(const char* a, int na, const char* b, int nb) {
    if (!a) na = 0;
    if (!b) nb = 0;
    const int n = lengthOfBoth(na, nb);
    if (n <= N - 1) {
        // Either piece may lie in the inline array itself (s = s.c_str() + 2): the second
        // piece is saved before the first moves over it, and the first is moved, not
        // copied. A heap buffer goes only after both were read.
        char saved[N];
        if (nb > 0) TARN::Memcpy(saved, b, nb);
        if (na > 0) TARN::Memmove(inlineData, a, na);
        if (nb > 0) TARN::Memcpy(inlineData + na, saved, nb);
        if (data != inlineData) delete[] data;
        data = inlineData;
        capacity = N;
    } else {
        // The old buffer is released only after both pieces were copied out of it.
        const int fresh = CapacityFor(n);
        char* buffer = new char[fresh];
        if (na > 0) TARN::Memcpy(buffer, a, na);
        if (nb > 0) TARN::Memcpy(buffer + na, b, nb);
        if (data != inlineData) delete[] data;
        data = buffer;
        capacity = fresh;
    }
    length = n;
    data[n] = '\0';
}

template <int N>
void TARNStackedString<N>::concat(int n, const char* text) {
    if (!text || n <= 0) return;
    const int m = lengthOfBoth(length, n);
    if (m >= capacity) {
        // Grow: copy the current text and the appended bytes (which may lie in the old
        // buffer) before the old buffer goes.
        const int fresh = CapacityFor(m);
        char* buffer = new char[fresh];
        TARN::Memcpy(buffer, data, length);
        TARN::Memcpy(buffer + length, text, n);
        if (data != inlineData) delete[] data;
        data = buffer;
        capacity = fresh;
    } else {
        TARN::Memmove(data + length, text, n);
    }
    length = m;
    data[m] = '\0';
}

template <int N>
TARNStackedString<N>& TARNStackedString<N>::operator+=(const char* text) {
    concat(textLength(text), text);
    return *this;
}

template <int N>
TARNStackedString<N>& TARNStackedString<N>::operator+=(const TARNStackedString& other) {
    concat(other.length, other.data);
    return *this;
}

template <int N>
TARNArray<TARNStackedString<N>> TARNStackedString<N>::Split(char separator) const {
    TARNArray<TARNStackedString> pieces;
    int begin = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] == separator) {
            TARNStackedString piece;
            piece.init(i - begin, data + begin);
            pieces.PushBack(piece);
            begin = i + 1;
        }
    }
    TARNStackedString last;
    last.init(length - begin, data + begin);
    pieces.PushBack(last);
    return pieces;
}

template <int N>
bool TARNStackedString<N>::operator==(const TARNStackedString& other) const {
    return length == other.length && std::memcmp(data, other.data, length) == 0;
}

template <int N>
bool TARNStackedString<N>::operator==(const char* text) const {
    if (!text) return length == 0;
    // Compare up to our length, then the text must end where we do.
    for (int i = 0; i < length; ++i) {
        if (text[i] != data[i] || text[i] == '\0') return false;
    }
    return text[length] == '\0';
}

template <int N>
std::strong_ordering TARNStackedString<N>::operator<=>(const TARNStackedString& other) const {
    const int shorter = length < other.length ? length : other.length;
    const int c = std::memcmp(data, other.data, shorter);  // compares bytes as unsigned
    if (c != 0) return c < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    return length <=> other.length;
}

template <int N>
TARNStackedString<N> operator+(const TARNStackedString<N>& string, const char* text) {
    if (!text) return string;
    TARNStackedString<N> result;
    result.place(string.data, string.length, text, textLength(text));
    return result;
}

template <int N>
TARNStackedString<N> operator+(const char* text, const TARNStackedString<N>& string) {
    if (!text) return string;
    TARNStackedString<N> result;
    result.place(text, textLength(text), string.data, string.length);
    return result;
}

template <int N>
TARNStackedString<N> operator+(const TARNStackedString<N>& first, const TARNStackedString<N>& second) {
    TARNStackedString<N> result;
    result.place(first.data, first.length, second.data, second.length);
    return result;
}

template class TARNStackedString<40>;
template TARNStackedString<40> operator+(const TARNStackedString<40>&, const char*);
template TARNStackedString<40> operator+(const char*, const TARNStackedString<40>&);
template TARNStackedString<40> operator+(const TARNStackedString<40>&, const TARNStackedString<40>&);
