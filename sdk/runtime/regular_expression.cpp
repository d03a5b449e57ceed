#include "tarn/runtime/regular_expression.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>

#include "tarn/runtime/c_library.hpp"

struct TARNRegExpBody {
    TARNRegExpBody() = default;
    ~TARNRegExpBody() {
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
    TARNRegExpBody(const TARNRegExpBody&) = delete;
    TARNRegExpBody& operator=(const TARNRegExpBody&) = delete;

    void setError(const char* text, int offset) {
        TARN::Strncpy(errorText, text, sizeof errorText - 1);
        errorText[sizeof errorText - 1] = '\0';
        hasError = true;
        errorOffset = offset;
    }
    void clearError() {
        hasError = false;
        errorOffset = -1;
    }

    uint32_t refcount = 1;
    pcre2_code* code = nullptr;
    bool studied = false;
    int options = 0;
    bool hasError = false;
    char errorText[128] = {};
    int errorOffset = -1;
    // Size of the match vector counted as the classic interface counts it: three ints per
    // captured pair, so it holds vectorSize / 3 pairs. It grows by 10 whenever a match
    // finds more groups than it can hold, and the match is run again.
    int vectorSize = 10;
    pcre2_match_data* matchData = nullptr;
    // Of the last successful match: start and end offset of every substring (-1 for a
    // group that did not take part), and the substrings themselves.
    TARNArray<int> positions;
    TARNArray<TARNStackedString<40> > substrings;
};

namespace {

// Translation of the compile options, which keep their classic bit values, into the
// library's option words.
struct CompileSettings {
    uint32_t options = 0;
    uint32_t extraOptions = 0;
    uint32_t newline = 0;  // 0: the library's default
    uint32_t bsr = 0;      // 0: the library's default
    const char* error = nullptr;
};

// The field that chooses the line break convention (values 1 to 5, 0 for the default).
constexpr int newlineBits = 7 << 20;

constexpr int supportedOptions =
    TARNRegExp::Caseless | TARNRegExp::Multiline | TARNRegExp::DotAll | TARNRegExp::Extended |
    TARNRegExp::Anchored | TARNRegExp::DollarEndOnly | TARNRegExp::Extra | TARNRegExp::Ungreedy |
    TARNRegExp::UTF8 | TARNRegExp::NoAutoCapture | TARNRegExp::NoUTF8Check | TARNRegExp::FirstLine |
    TARNRegExp::DupNames | newlineBits | TARNRegExp::BsrAnyCRLF | TARNRegExp::BsrUnicode;

CompileSettings translate(int options) {
    CompileSettings settings;
    if ((options & ~supportedOptions) != 0) {
        settings.error = "unknown option bit(s) set";
        return settings;
    }
    struct {
        int ours;
        uint32_t theirs;
    } const plain[] = {
        {TARNRegExp::Caseless, PCRE2_CASELESS},
        {TARNRegExp::Multiline, PCRE2_MULTILINE},
        {TARNRegExp::DotAll, PCRE2_DOTALL},
        {TARNRegExp::Extended, PCRE2_EXTENDED},
        {TARNRegExp::Anchored, PCRE2_ANCHORED},
        {TARNRegExp::DollarEndOnly, PCRE2_DOLLAR_ENDONLY},
        {TARNRegExp::Ungreedy, PCRE2_UNGREEDY},
        {TARNRegExp::UTF8, PCRE2_UTF},
        {TARNRegExp::NoAutoCapture, PCRE2_NO_AUTO_CAPTURE},
        {TARNRegExp::NoUTF8Check, PCRE2_NO_UTF_CHECK},
        {TARNRegExp::FirstLine, PCRE2_FIRSTLINE},
        {TARNRegExp::DupNames, PCRE2_DUPNAMES},
    };
    for (const auto& option : plain)
        if ((options & option.ours) != 0) settings.options |= option.theirs;
    // Unknown escapes stand for the escaped character unless Extra asks for an error;
    // callers such as the folder browser pass names through unescaped.
    if ((options & TARNRegExp::Extra) == 0) settings.extraOptions |= PCRE2_EXTRA_BAD_ESCAPE_IS_LITERAL;
    switch (options & newlineBits) {
        case 0:
            break;
        case TARNRegExp::NewlineCR:
            settings.newline = PCRE2_NEWLINE_CR;
            break;
        case TARNRegExp::NewlineLF:
            settings.newline = PCRE2_NEWLINE_LF;
            break;
        case TARNRegExp::NewlineCRLF:
            settings.newline = PCRE2_NEWLINE_CRLF;
            break;
        case TARNRegExp::NewlineAny:
            settings.newline = PCRE2_NEWLINE_ANY;
            break;
        case TARNRegExp::NewlineAnyCRLF:
            settings.newline = PCRE2_NEWLINE_ANYCRLF;
            break;
        default:
            settings.error = "inconsistent newline options";
            return settings;
    }
    const int bsr = options & (TARNRegExp::BsrAnyCRLF | TARNRegExp::BsrUnicode);
    if (bsr == (TARNRegExp::BsrAnyCRLF | TARNRegExp::BsrUnicode))
        settings.error = "inconsistent \\R options";
    else if (bsr == TARNRegExp::BsrAnyCRLF)
        settings.bsr = PCRE2_BSR_ANYCRLF;
    else if (bsr == TARNRegExp::BsrUnicode)
        settings.bsr = PCRE2_BSR_UNICODE;
    return settings;
}

}  // namespace

TARNRegExp::TARNRegExp() : body(new TARNRegExpBody) {}

TARNRegExp::TARNRegExp(const char* pattern, int options) : body(new TARNRegExpBody) {
    body->options = options;
    compile_pattern(pattern);
}

TARNRegExp::TARNRegExp(const TARNRegExp& other) : body(other.body) {
    addref();
}

TARNRegExp& TARNRegExp::operator=(const TARNRegExp& other) {
    // Taking the source's body first keeps it alive when both handles share it.
    other.body->refcount += 1;
    decref();
    body = other.body;
    return *this;
}

TARNRegExp::~TARNRegExp() {
    decref();
}

void TARNRegExp::addref() {
    body->refcount += 1;
}

void TARNRegExp::decref() {
    body->refcount -= 1;
    if (body->refcount == 0) delete body;
}

void TARNRegExp::newbase() {
    decref();
    body = new TARNRegExpBody;
}

void TARNRegExp::SetPattern(const char* pattern) {
    newbase();
    compile_pattern(pattern);
}

void TARNRegExp::SetOptions(int options) {
    body->options = options;
}

void TARNRegExp::compile_pattern(const char* pattern) {
    // A recompiled body starts over: the previous pattern and its match state go.
    pcre2_match_data_free(body->matchData);
    body->matchData = nullptr;
    pcre2_code_free(body->code);
    body->code = nullptr;
    body->studied = false;
    body->clearError();

    if (pattern == nullptr) {
        body->setError("no pattern", 0);
        return;
    }
    const CompileSettings settings = translate(body->options);
    if (settings.error != nullptr) {
        body->setError(settings.error, 0);
        return;
    }
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context == nullptr) {
        body->setError("out of memory", 0);
        return;
    }
    pcre2_set_compile_extra_options(context, settings.extraOptions);
    if (settings.newline != 0) pcre2_set_newline(context, settings.newline);
    if (settings.bsr != 0) pcre2_set_bsr(context, settings.bsr);

    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    body->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, settings.options,
                               &errorCode, &errorOffset, context);
    pcre2_compile_context_free(context);
    if (body->code == nullptr) {
        PCRE2_UCHAR message[sizeof body->errorText];
        if (pcre2_get_error_message(errorCode, message, sizeof message) < 0)
            body->setError("invalid pattern", static_cast<int>(errorOffset));
        else
            body->setError(reinterpret_cast<const char*>(message), static_cast<int>(errorOffset));
    }
}

void TARNRegExp::study_pattern() {
    if (body->code == nullptr) return;
    const int result = pcre2_jit_compile(body->code, PCRE2_JIT_COMPLETE);
    if (result == 0) {
        body->studied = true;
    } else if (result != PCRE2_ERROR_JIT_BADOPTION) {
        // JIT_BADOPTION: no just-in-time compiler on this platform, nothing to report.
        PCRE2_UCHAR message[sizeof body->errorText];
        if (pcre2_get_error_message(result, message, sizeof message) >= 0)
            body->setError(reinterpret_cast<const char*>(message), body->errorOffset);
    }
}

bool TARNRegExp::exec(const char* subject, int length) {
    // A negative length would read as "up to the first NUL" to the library.
    if (body->code == nullptr || subject == nullptr || length < 0) return false;
    int result;
    for (;;) {
        if (body->matchData == nullptr) {
            body->matchData = pcre2_match_data_create(static_cast<uint32_t>(body->vectorSize / 3), nullptr);
            if (body->matchData == nullptr) return false;
        }
        result = pcre2_match(body->code, reinterpret_cast<PCRE2_SPTR>(subject),
                             static_cast<PCRE2_SIZE>(length), 0, 0, body->matchData, nullptr);
        // The just-in-time code runs on a small stack of its own; the interpreter keeps
        // its backtracking state on the heap and can finish what the stack could not.
        if (result == PCRE2_ERROR_JIT_STACKLIMIT)
            result = pcre2_match(body->code, reinterpret_cast<PCRE2_SPTR>(subject),
                                 static_cast<PCRE2_SIZE>(length), 0, PCRE2_NO_JIT, body->matchData, nullptr);
        if (result != 0) break;
        // More groups took part than the vector holds: grow it and match again.
        body->vectorSize += 10;
        pcre2_match_data_free(body->matchData);
        body->matchData = nullptr;
    }
    if (result < 0) return false;

    const PCRE2_SIZE* vector = pcre2_get_ovector_pointer(body->matchData);
    body->positions.Clear();
    body->substrings.Clear();
    for (int i = 0; i < result; ++i) {
        const PCRE2_SIZE start = vector[2 * i];
        const PCRE2_SIZE end = vector[2 * i + 1];
        TARNStackedString<40> text;
        if (start == PCRE2_UNSET) {
            body->positions.PushBack(-1);
            body->positions.PushBack(-1);
        } else {
            body->positions.PushBack(static_cast<int>(start));
            body->positions.PushBack(static_cast<int>(end));
            // \K inside a lookahead can put the start behind the end: no text then.
            if (end > start) text.init(static_cast<int>(end - start), subject + start);
        }
        body->substrings.PushBack(text);
    }
    return true;
}

bool TARNRegExp::Ok() const {
    return body->code != nullptr;
}

const char* TARNRegExp::LastError() const {
    return body->hasError ? body->errorText : nullptr;
}

int TARNRegExp::ErrorOffset() const {
    return body->errorOffset;
}

const TARNArray<TARNStackedString<40> >& TARNRegExp::Substrings() const {
    return body->substrings;
}

int TARNRegExp::Position(int i) const {
    if (i < 0 || i >= body->substrings.Size()) return -1;
    return body->positions[2 * i];
}
