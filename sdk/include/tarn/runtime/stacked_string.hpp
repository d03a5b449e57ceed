// The library's text type: 8-bit characters (UTF-8), short texts kept inside the object.
#pragma once

#include <climits>
#include <compare>
#include <stdexcept>

#include "tarn/runtime/ring_array.hpp"

// A string that keeps texts of up to N - 1 characters in its own inline array and moves
// longer ones to a heap buffer whose size is a multiple of N. The text is always
// NUL-terminated, but may hold embedded NULs (its length says where it ends).
//
// Only TARNStackedString<40> exists in the system; its members are compiled once, in the
// SDK's library (no other N can be used).
template <int N>
class TARNStackedString {
  public:
    TARNStackedString();
    // A null text gives the empty string.
    TARNStackedString(const char* text);
    TARNStackedString(const TARNStackedString& other);
    // Takes over a heap buffer; the source is left empty.
    TARNStackedString(TARNStackedString&& other) noexcept;
    virtual ~TARNStackedString();

    // Places a copy of the source's text and copies its extra word.
    TARNStackedString& operator=(const TARNStackedString& other);
    TARNStackedString& operator=(TARNStackedString&& other) noexcept;
    // Places the text (null gives the empty string); the extra word becomes 0.
    TARNStackedString& operator=(const char* text);

    // Places exactly `length` bytes of `text`, NULs included. A null text gives the empty
    // string, but still in a buffer sized for `length`.
    void init(int length, const char* text);
    // Appends exactly `length` bytes of `text`; a null text or a length below 1 changes nothing.
    void concat(int length, const char* text);
    // Appends the NUL-terminated text; null changes nothing.
    TARNStackedString& operator+=(const char* text);
    // Appends the whole of the other string, embedded NULs included.
    TARNStackedString& operator+=(const TARNStackedString& other);

    // The pieces between the separators: k separators always give k + 1 pieces, empty
    // ones included; the empty string gives one empty piece.
    TARNArray<TARNStackedString> Split(char separator) const;

    const char* c_str() const { return data; }
    // Number of characters, the terminating NUL not counted.
    int Length() const { return length; }
    bool IsEmpty() const { return length == 0; }
    // Character i of 0..Length() (the terminating NUL included).
    char operator[](int i) const { return data[i]; }
    // Size in bytes of the current buffer: N while inline.
    int Capacity() const { return capacity; }
    // True while the text lives in the object's own array.
    bool IsInline() const { return data == inlineData; }
    // A word that no string operation reads: set to 0 by construction and text
    // assignment, carried along by copy.
    int Extra() const { return extra; }
    void SetExtra(int value) { extra = value; }

    // Same length and same bytes.
    bool operator==(const TARNStackedString& other) const;
    // Same text as the NUL-terminated `text`; a null text equals the empty string.
    bool operator==(const char* text) const;
    // Byte-wise order (bytes taken as unsigned), a shorter prefix first.
    std::strong_ordering operator<=>(const TARNStackedString& other) const;

    // The longest text a string holds: lengths and capacities are ints, and the capacity
    // of a text of MaxLength characters is the last multiple of N an int holds.
    static constexpr int MaxLength = (INT_MAX / N) * N - 2;
    // Heap capacity for a text of n characters: the smallest multiple of N strictly
    // greater than n + 1. A length above MaxLength throws std::length_error.
    static int CapacityFor(int n) {
        if (n > MaxLength) throw std::length_error("TARNStackedString: text too long");
        return N * ((n + 1) / N + 1);
    }

  protected:
    template <int M>
    friend TARNStackedString<M> operator+(const TARNStackedString<M>&, const char*);
    template <int M>
    friend TARNStackedString<M> operator+(const char*, const TARNStackedString<M>&);
    template <int M>
    friend TARNStackedString<M> operator+(const TARNStackedString<M>&, const TARNStackedString<M>&);

    // Places a + b as the new text, in inline storage when it fits and else in a fresh
    // heap buffer. Either piece may lie inside this string's own buffer.
    void place(const char* a, int na, const char* b, int nb);

    int length;
    int capacity;
    int extra;
    char* data;
    char inlineData[N];
};

// The string's text followed by `text`; a null text gives a copy of the string (its extra
// word included), otherwise the extra word is 0.
template <int N>
TARNStackedString<N> operator+(const TARNStackedString<N>& string, const char* text);
// `text` followed by the string's text; a null text gives a copy of the string.
template <int N>
TARNStackedString<N> operator+(const char* text, const TARNStackedString<N>& string);
template <int N>
TARNStackedString<N> operator+(const TARNStackedString<N>& first, const TARNStackedString<N>& second);

extern template class TARNStackedString<40>;
extern template TARNStackedString<40> operator+(const TARNStackedString<40>&, const char*);
extern template TARNStackedString<40> operator+(const char*, const TARNStackedString<40>&);
extern template TARNStackedString<40> operator+(const TARNStackedString<40>&, const TARNStackedString<40>&);
