// Compiled regular expressions (Perl-compatible syntax) and their captured substrings.
#pragma once

#include "tarn/runtime/ring_array.hpp"
#include "tarn/runtime/stacked_string.hpp"

// The compiled pattern, its match state and the results of the last successful match;
// shared by every copy of a handle. Opaque, inside the SDK's library, so that the
// regular-expression library's types stay out of this header.
struct TARNRegExpBody;

// A handle on a compiled pattern. Copies share one body (reference-counted); a
// successful match leaves the captured substrings and their positions in the body,
// where every handle sharing it sees them.
//
// Unknown escapes such as "\y" stand for the escaped character itself (unless Extra is
// given). Handles are not thread-safe: a body belongs to one thread at a time.
class TARNRegExp {
  public:
    // Compile options; combine with |. Callers normally pass 0.
    static constexpr int Caseless = 0x1;
    static constexpr int Multiline = 0x2;       // ^ and $ also match at inner line breaks
    static constexpr int DotAll = 0x4;          // . also matches a line break
    static constexpr int Extended = 0x8;        // white space and # comments in the pattern ignored
    static constexpr int Anchored = 0x10;       // match only at the start of the subject
    static constexpr int DollarEndOnly = 0x20;  // $ matches only at the very end
    static constexpr int Extra = 0x40;          // an unknown escape is a compile error
    static constexpr int Ungreedy = 0x200;      // quantifiers lazy unless followed by ?
    static constexpr int UTF8 = 0x800;          // pattern and subjects are UTF-8 text
    static constexpr int NoAutoCapture = 0x1000;
    static constexpr int NoUTF8Check = 0x2000;
    static constexpr int FirstLine = 0x40000;  // the match must start on the first line
    static constexpr int DupNames = 0x80000;   // named groups may share a name
    // Line break convention (one of): CR, LF, CR LF, any of them, CR or LF or CR LF.
    static constexpr int NewlineCR = 0x100000;
    static constexpr int NewlineLF = 0x200000;
    static constexpr int NewlineCRLF = 0x300000;
    static constexpr int NewlineAny = 0x400000;
    static constexpr int NewlineAnyCRLF = 0x500000;
    // What \R matches: CR, LF or CR LF only, or every Unicode line break.
    static constexpr int BsrAnyCRLF = 0x800000;
    static constexpr int BsrUnicode = 0x1000000;

    // No pattern: Ok() is false.
    TARNRegExp();
    // Compiles the pattern with the options (not studied); see Ok() and LastError().
    TARNRegExp(const char* pattern, int options);
    // Shares the source's body.
    TARNRegExp(const TARNRegExp& other);
    TARNRegExp& operator=(const TARNRegExp& other);
    ~TARNRegExp();

    // Replaces the body by a fresh one and compiles the pattern into it with options 0.
    void SetPattern(const char* pattern);
    // Stores options in the current body for the next compile_pattern (SetPattern starts
    // a new body and so does not use them).
    void SetOptions(int options);
    // Compiles into the current body with its options. On failure the pattern is null,
    // and LastError() and ErrorOffset() tell why and where.
    void compile_pattern(const char* pattern);
    // Prepares the compiled pattern for faster matching (just-in-time compilation where
    // the platform offers it); a failure leaves the pattern usable and sets LastError().
    void study_pattern();

    // Matches the first `length` bytes of `subject` (which need not be terminated). True
    // on a match: Substrings() and Position() then describe it. False without a pattern,
    // for a null subject or a negative length, on no match and on a matching error; the
    // results of the last successful match then stay.
    bool exec(const char* subject, int length);

    bool Ok() const;
    // The error of the last failed compilation (or study), null when none.
    const char* LastError() const;
    // Offset in the pattern of that error; -1 when none.
    int ErrorOffset() const;
    // Of the last successful match: entry 0 is the whole match, entry i the text captured
    // by group i (empty when the group did not take part).
    const TARNArray<TARNStackedString<40> >& Substrings() const;
    // Start offset in the subject of substring i of the last successful match; -1 for a
    // group that did not take part and for i outside the substrings.
    int Position(int i) const;

  protected:
    void addref();
    void decref();
    // Releases the current body and attaches a fresh one.
    void newbase();

  private:
    TARNRegExpBody* body;
};
