#include "tarn/runtime/text_conversion.hpp"

#include <iconv.h>
#include <langinfo.h>

#include <bit>
#include <cerrno>
#include <clocale>
#include <cwchar>

#include "runtime/ascii_case.hpp"
#include "tarn/runtime/c_library.hpp"
#include "tarn/runtime/mutex.hpp"

struct TARNIconvHandle {
    explicit TARNIconvHandle(iconv_t d) : descriptor(d) {}
    ~TARNIconvHandle() { iconv_close(descriptor); }
    TARNIconvHandle(const TARNIconvHandle&) = delete;
    TARNIconvHandle& operator=(const TARNIconvHandle&) = delete;

    iconv_t descriptor;
    // Serialises the use of the descriptor's shift state.
    TARNMutex mutex;
};

namespace {

// The plain name "UTF-32" makes glibc write a byte-order mark in front of the text,
// which would read as an extra character; name the machine's own byte order instead.
constexpr const char* wideCodeSetName = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

// Room kept behind every converted buffer and filled with zeros: enough to terminate a
// text of any unit size (up to the four bytes of a wide character).
constexpr unsigned long terminatorRoom = 4;

TARNIconvHandle* openHandle(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) return nullptr;
    iconv_t descriptor = iconv_open(to, from);
    if (descriptor == reinterpret_cast<iconv_t>(-1)) return nullptr;
    return new TARNIconvHandle(descriptor);
}

// `part` is given in lower case.
bool containsIgnoringCase(const char* text, const char* part) {
    const int textLength = TARN::Strlen(text);
    const int partLength = TARN::Strlen(part);
    for (int start = 0; start + partLength <= textLength; ++start) {
        int i = 0;
        while (i < partLength && TARNPrivate::AsciiLower(text[start + i]) == part[i]) ++i;
        if (i == partLength) return true;
    }
    return false;
}

}  // namespace

class TARNIconvImplementation {
  public:
    TARNIconvImplementation() {
        // Let the environment choose the locale, then keep the point as the decimal
        // separator everywhere in the process whatever that locale says.
        std::setlocale(LC_ALL, "");
        // Copied at once: the next setlocale may overwrite the text nl_langinfo points to.
        localeCodeSet = nl_langinfo(CODESET);
        std::setlocale(LC_NUMERIC, "C");
        if (localeCodeSet.IsEmpty()) return;  // every conversion then gives null
        TARNMutexGuard guard(mutex);
        localeToUTF8 = openHandle(localeCodeSet.c_str(), "UTF-8");
        UTF8ToLocale = openHandle("UTF-8", localeCodeSet.c_str());
        wideToUTF8 = openHandle(wideCodeSetName, "UTF-8");
        UTF8ToWide = openHandle("UTF-8", wideCodeSetName);
    }

    ~TARNIconvImplementation() {
        TARNMutexGuard guard(mutex);
        for (TARNIconvHandle** handle : {&localeToUTF8, &UTF8ToLocale, &wideToUTF8, &UTF8ToWide}) {
            delete *handle;
            *handle = nullptr;
        }
    }

    TARNIconvImplementation(const TARNIconvImplementation&) = delete;
    TARNIconvImplementation& operator=(const TARNIconvImplementation&) = delete;

    char* convert(TARNIconvHandle* handle, const char* input, unsigned long length) {
        if (handle == nullptr || input == nullptr) return nullptr;
        // Lock order: handle, then implementation.
        TARNMutexGuard handleGuard(handle->mutex);
        TARNMutexGuard implementationGuard(mutex);
        char* result = nullptr;
        unsigned long capacity = length > 0 ? length : 1;
        for (;;) {
            char* buffer = new char[capacity + terminatorRoom];
            // A previous conversion may have failed half-way and left a shift state;
            // every attempt starts from the initial state.
            iconv(handle->descriptor, nullptr, nullptr, nullptr, nullptr);
            char* in = const_cast<char*>(input);
            size_t inLeft = length;
            char* out = buffer;
            size_t outLeft = capacity;
            size_t done = iconv(handle->descriptor, &in, &inLeft, &out, &outLeft);
            // Stateful encodings need their closing shift sequence written out.
            if (done != static_cast<size_t>(-1))
                done = iconv(handle->descriptor, nullptr, nullptr, &out, &outLeft);
            const int error = errno;
            if (done != static_cast<size_t>(-1)) {
                TARN::Memset(out, 0, outLeft + terminatorRoom);
                result = buffer;
                break;
            }
            delete[] buffer;
            if (error != E2BIG) break;  // invalid or incomplete sequence, or another error
            capacity *= 2;
        }
        return result;
    }

    TARNMutex mutex;
    TARNStackedString<40> localeCodeSet;
    TARNIconvHandle* localeToUTF8 = nullptr;
    TARNIconvHandle* UTF8ToLocale = nullptr;
    TARNIconvHandle* wideToUTF8 = nullptr;
    TARNIconvHandle* UTF8ToWide = nullptr;
};

// Created on first use, so that static initialisers of other files may convert texts
// whatever the order in which the linker placed them.
TARNIconvImplementation& TARNIconv::impl() {
    static TARNIconvImplementation implementation;
    return implementation;
}

namespace {
// The converter also sets up the process locale: make sure that happens when the
// library is loaded, not at some later first conversion.
[[maybe_unused]] const bool converterCreatedAtLoad = (TARNIconv::isLocaleUTF8(), true);
}  // namespace

TARNIconvHandle* TARNIconv::open(const char* from, const char* to) {
    impl();
    return openHandle(from, to);
}

void TARNIconv::close(TARNIconvHandle* handle) {
    delete handle;
}

char* TARNIconv::convert(TARNIconvHandle* handle, const char* input, unsigned long length) {
    return impl().convert(handle, input, length);
}

char* TARNIconv::localeToUTF8(const char* text) {
    if (text == nullptr) return nullptr;
    return impl().convert(impl().localeToUTF8, text, TARN::Strlen(text) + 1UL);
}

char* TARNIconv::UTF8ToLocale(const char* text) {
    if (text == nullptr) return nullptr;
    return impl().convert(impl().UTF8ToLocale, text, TARN::Strlen(text) + 1UL);
}

char* TARNIconv::wideToUTF8(const wchar_t* text) {
    if (text == nullptr) return nullptr;
    return impl().convert(impl().wideToUTF8, reinterpret_cast<const char*>(text),
                          (std::wcslen(text) + 1) * sizeof(wchar_t));
}

wchar_t* TARNIconv::UTF8ToWide(const char* text) {
    if (text == nullptr) return nullptr;
    char* wide = impl().convert(impl().UTF8ToWide, text, TARN::Strlen(text) + 1UL);
    // new[] storage is aligned for any fundamental type, wchar_t included.
    return reinterpret_cast<wchar_t*>(wide);
}

int TARNIconv::localeToUTF8(const char* text, TARNStackedString<40>& result) {
    char* converted = localeToUTF8(text);
    if (converted == nullptr) return 0;
    result = converted;
    releaseUTF8(converted);
    return 1;
}

int TARNIconv::wideToUTF8(const wchar_t* text, TARNStackedString<40>& result) {
    char* converted = wideToUTF8(text);
    if (converted == nullptr) return 0;
    result = converted;
    releaseUTF8(converted);
    return 1;
}

void TARNIconv::releaseLocale(char* buffer) {
    delete[] buffer;
}

void TARNIconv::releaseWide(wchar_t* buffer) {
    delete[] reinterpret_cast<char*>(buffer);
}

void TARNIconv::releaseUTF8(char* buffer) {
    delete[] buffer;
}

bool TARNIconv::isLocaleUTF8() {
    const char* codeSet = impl().localeCodeSet.c_str();
    return containsIgnoringCase(codeSet, "utf8") || containsIgnoringCase(codeSet, "utf-8");
}

int TARNIconv::NbColumns(const TARNStackedString<40>& text) {
    if (text.IsEmpty()) return -1;
    wchar_t* wide = UTF8ToWide(text.c_str());
    if (wide == nullptr) return -1;
    const int columns = static_cast<int>(std::wcslen(wide));
    releaseWide(wide);
    return columns;
}
