// Code-page conversion: the ANSI and OEM single-byte pages, UTF-8 and UTF-16.
//
// Each single-byte page is read from iconv once, one byte at a time, into a table;
// every later conversion is a lookup. So no iconv state is shared between callers, a
// conversion cannot fail half-way, and converting a file name costs no system call.
#include "names.h"
#include "win32.h"
#include "zp_codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

using zp::CodePageUtf8;
using zp::DecodeUtf8;
using zp::EncodeUtf8;
using zp::UpperOf;

constexpr UINT AnsiCodePage = 1252;
constexpr UINT DefaultOemCodePage = 437;
constexpr char32_t Replacement = 0xFFFD;

// One single-byte code page; built once, never changed, never freed (search handles
// and hosts keep pointers into it).
struct CodePage {
    UINT number;              // the Windows number, as asked for
    char16_t toUnicode[256];  // each byte's character
    unsigned char upper[256]; // each byte's upper-case form within the page
    // Bytes 0x80-0xFF ordered by character, for the reverse lookup. Bytes below 0x80 are
    // ASCII in every page accepted.
    struct Entry {
        char16_t unit;
        unsigned char byte;
    } high[128];
    int highCount; // entries used in `high`

    // The page's byte for a UTF-16 unit; false when the page has none.
    bool FromUnicode(char16_t unit, unsigned char* byte) const {
        if (unit < 0x80) {
            *byte = static_cast<unsigned char>(unit);
            return true;
        }
        const Entry* end = high + highCount;
        const Entry* e = std::lower_bound(
            high, end, unit, [](const Entry& entry, char16_t u) { return entry.unit < u; });
        if (e == end || e->unit != unit) return false;
        *byte = e->byte;
        return true;
    }
};

// Fills the reverse lookup and the upper-case table from `toUnicode`. `defined` tells
// the bytes the page itself defines: an undefined byte stands for the character of
// its own number (as Windows maps 0x81 of 1252 to U+0081) unless a defined byte
// already claims that character.
void CompletePage(CodePage* page, const bool* defined) {
    int count = 0;
    for (int b = 0x80; b < 0x100; ++b)
        if (page->toUnicode[b] >= 0x80)
            page->high[count++] = {page->toUnicode[b], static_cast<unsigned char>(b)};
    // For a character that two bytes claim, a defined byte first, then the lower one.
    std::sort(page->high, page->high + count,
              [defined](const CodePage::Entry& a, const CodePage::Entry& b) {
                  if (a.unit != b.unit) return a.unit < b.unit;
                  if (defined[a.byte] != defined[b.byte]) return defined[a.byte];
                  return a.byte < b.byte;
              });
    CodePage::Entry* end = std::unique(
        page->high, page->high + count,
        [](const CodePage::Entry& a, const CodePage::Entry& b) { return a.unit == b.unit; });
    page->highCount = static_cast<int>(end - page->high);
    for (int b = 0; b < 0x100; ++b) {
        char32_t upper = UpperOf(page->toUnicode[b]);
        unsigned char byte;
        bool found = upper <= 0xFFFF && page->FromUnicode(static_cast<char16_t>(upper), &byte);
        page->upper[b] = found ? byte : static_cast<unsigned char>(b);
    }
}

// Reads code page `number` from iconv; null when iconv does not know it, or when it is
// not a single-byte page that keeps ASCII (the console's pages all are).
CodePage* BuildPage(UINT number) {
    char name[24];
    std::snprintf(name, sizeof name, "CP%u", number);
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    CodePage* page = new (std::nothrow) CodePage();
    bool defined[256];
    bool singleByte = page != nullptr;
    for (int b = 0; b < 0x100 && singleByte; ++b) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(b);
        char* inPos = &in;
        size_t inLeft = 1;
        char out[16];
        char* outPos = out;
        size_t outLeft = sizeof out;
        size_t done = iconv(cd, &inPos, &inLeft, &outPos, &outLeft);
        // EINVAL: the byte starts a longer sequence.
        if (done == static_cast<size_t>(-1) && errno == EINVAL) singleByte = false;
        // Pages that compose letters with accents hold a letter back until flushed.
        if (done != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, &outPos, &outLeft);
        defined[b] = done != static_cast<size_t>(-1) && outPos - out == 2;
        page->toUnicode[b] = defined[b]
                                 ? static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                         static_cast<unsigned char>(out[1]) << 8)
                                 : static_cast<char16_t>(b);
        if (b < 0x80 && page->toUnicode[b] != b) singleByte = false;
    }
    iconv_close(cd);
    if (!singleByte) {
        delete page;
        return nullptr;
    }
    page->number = number;
    CompletePage(page, defined);
    return page;
}

// The last resort when iconv has not even the default pages: every byte is the
// character of its own number (ISO 8859-1).
CodePage* LatinPage() {
    CodePage* page = new CodePage();
    bool defined[256];
    for (int b = 0; b < 0x100; ++b) {
        page->toUnicode[b] = static_cast<char16_t>(b);
        defined[b] = true;
    }
    page->number = 28591;
    CompletePage(page, defined);
    return page;
}

std::mutex pagesLock;                          // guards `pages`
CodePage* pages[16];                           // the pages built so far, in the order asked for
std::atomic<const CodePage*> oemPage{nullptr}; // null until first used: then 437

// The page for a Windows code-page number, built on first use; null when unknown.
const CodePage* FindPage(UINT number) {
    std::lock_guard<std::mutex> hold(pagesLock);
    for (CodePage*& slot : pages) {
        if (slot && slot->number == number) return slot;
        if (!slot) return slot = BuildPage(number);
    }
    return nullptr;
}

const CodePage* Oem() {
    const CodePage* page = oemPage.load(std::memory_order_acquire);
    if (page) return page;
    page = FindPage(DefaultOemCodePage);
    if (!page) page = LatinPage();
    const CodePage* expected = nullptr;
    if (!oemPage.compare_exchange_strong(expected, page)) return expected;
    return page;
}

const CodePage* Ansi() {
    static const CodePage* const page = [] {
        const CodePage* found = FindPage(AnsiCodePage);
        return found ? found : LatinPage();
    }();
    return page;
}

// The page a Win32 call names: CP_ACP, CP_OEMCP or a number; null when unknown.
const CodePage* PageFor(UINT codePage) {
    if (codePage == CP_ACP || codePage == AnsiCodePage) return Ansi();
    if (codePage == CP_OEMCP) return Oem();
    return FindPage(codePage);
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Where a Win32 conversion writes: counts every unit, stores those that fit. A
// capacity of 0 only counts (the caller asks for the size it needs).
template <typename Unit> struct Output {
    Unit* buffer;
    size_t capacity;
    size_t count = 0;

    void Put(Unit unit) {
        if (count < capacity) buffer[count] = unit;
        ++count;
    }

    // The Win32 result: the units written or needed, or 0 with the reason set.
    int Result() const {
        if ((capacity && count > capacity) || count > INT_MAX) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        return static_cast<int>(count);
    }
};

int Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

size_t WideLength(const WCHAR* wide) {
    size_t n = 0;
    while (wide[n])
        ++n;
    return n;
}

} // namespace

extern "C" {

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const CHAR* text, int length, WCHAR* wide,
                        int wideLength) {
    if (!text || length == 0 || length < -1 || wideLength < 0 || (wideLength && !wide))
        return Fail(ERROR_INVALID_PARAMETER);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    Output<WCHAR> out{wide, static_cast<size_t>(wideLength)};
    if (codePage == CodePageUtf8) {
        for (size_t i = 0; i < n;) {
            char32_t c;
            i += DecodeUtf8(bytes + i, n - i, &c);
            if (c > 0xFFFF) {
                out.Put(static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10)));
                out.Put(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
            } else {
                out.Put(static_cast<WCHAR>(c));
            }
        }
        return out.Result();
    }
    const CodePage* page = PageFor(codePage);
    if (!page) return Fail(ERROR_INVALID_PARAMETER);
    for (size_t i = 0; i < n; ++i)
        out.Put(page->toUnicode[bytes[i]]);
    return out.Result();
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, const WCHAR* wide, int wideLength,
                        CHAR* text, int length, const CHAR* defaultChar, BOOL* usedDefault) {
    if (!wide || wideLength == 0 || wideLength < -1 || length < 0 || (length && !text))
        return Fail(ERROR_INVALID_PARAMETER);
    size_t n = wideLength < 0 ? WideLength(wide) + 1 : static_cast<size_t>(wideLength);
    Output<CHAR> out{text, static_cast<size_t>(length)};
    if (codePage == CodePageUtf8) {
        // UTF-8 has a form for everything: Windows refuses a default character here.
        if (defaultChar || usedDefault) return Fail(ERROR_INVALID_PARAMETER);
        for (size_t i = 0; i < n; ++i) {
            char32_t c = wide[i];
            if (IsHighSurrogate(wide[i]) && i + 1 < n && IsLowSurrogate(wide[i + 1]))
                c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
            else if (IsHighSurrogate(wide[i]) || IsLowSurrogate(wide[i]))
                c = Replacement;
            unsigned char bytes[4];
            size_t count = EncodeUtf8(c, bytes);
            for (size_t k = 0; k < count; ++k)
                out.Put(static_cast<CHAR>(bytes[k]));
        }
        return out.Result();
    }
    const CodePage* page = PageFor(codePage);
    if (!page) return Fail(ERROR_INVALID_PARAMETER);
    CHAR fallback = defaultChar ? *defaultChar : '?';
    bool used = false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char byte;
        if (page->FromUnicode(wide[i], &byte)) {
            out.Put(static_cast<CHAR>(byte));
        } else {
            out.Put(fallback);
            used = true;
        }
    }
    int result = out.Result();
    if (result && usedDefault) *usedDefault = used ? TRUE : FALSE;
    return result;
}

BOOL CharToOemA(const CHAR* source, CHAR* target) {
    if (!source || !target) return Fail(ERROR_INVALID_PARAMETER);
    const CodePage* ansi = Ansi();
    const CodePage* oem = Oem();
    // Byte for byte and in order, so the target may be the source.
    size_t i = 0;
    for (; source[i]; ++i) {
        unsigned char byte;
        if (!oem->FromUnicode(ansi->toUnicode[static_cast<unsigned char>(source[i])], &byte))
            byte = '?';
        target[i] = static_cast<CHAR>(byte);
    }
    target[i] = '\0';
    return TRUE;
}

BOOL CharToOemW(const WCHAR* source, CHAR* target) {
    if (!source || !target) return Fail(ERROR_INVALID_PARAMETER);
    const CodePage* oem = Oem();
    size_t i = 0;
    for (; source[i]; ++i) {
        unsigned char byte;
        if (!oem->FromUnicode(source[i], &byte)) byte = '?';
        target[i] = static_cast<CHAR>(byte);
    }
    target[i] = '\0';
    return TRUE;
}

DWORD CharUpperBuffW(WCHAR* text, DWORD length) {
    if (!text) return 0;
    std::u16string upper = zp::Fold(std::u16string(text, length));
    std::memcpy(text, upper.data(), length * sizeof(WCHAR));
    return length;
}

bool ZpSetOemCodePage(unsigned codePage) {
    const CodePage* page = FindPage(codePage);
    if (!page) return false;
    oemPage.store(page, std::memory_order_release);
    return true;
}

unsigned ZpOemCodePage(void) {
    return Oem()->number;
}

const unsigned char* ZpOemUpperTable(void) {
    return Oem()->upper;
}

bool ZpOemToUtf8(const char* oem, char* out, size_t outSize) {
    if (!out || !outSize) return false;
    out[0] = '\0';
    if (!oem) return false;
    const CodePage* page = Oem();
    size_t used = 0;
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(oem); *s; ++s) {
        unsigned char bytes[4];
        size_t count = EncodeUtf8(page->toUnicode[*s], bytes);
        if (used + count >= outSize) {
            out[used] = '\0';
            return false;
        }
        std::memcpy(out + used, bytes, count);
        used += count;
    }
    out[used] = '\0';
    return true;
}

bool ZpUtf8ToOem(const char* utf8, char* out, size_t outSize) {
    if (!out || !outSize) return false;
    out[0] = '\0';
    if (!utf8) return false;
    const CodePage* page = Oem();
    size_t used = 0;
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8); *s;) {
        char32_t c;
        s += DecodeUtf8(s, SIZE_MAX, &c);
        // Beyond the Basic Multilingual Plane: two UTF-16 units, neither in the page.
        unsigned char bytes[2] = {'?', '?'};
        size_t count = c > 0xFFFF ? 2 : 1;
        if (count == 1 && !page->FromUnicode(static_cast<char16_t>(c), &bytes[0])) bytes[0] = '?';
        if (used + count >= outSize) {
            out[used] = '\0';
            return false;
        }
        std::memcpy(out + used, bytes, count);
        used += count;
    }
    out[used] = '\0';
    return true;
}

} // extern "C"

namespace zp {

const unsigned char* UpperTable(UINT codePage) {
    const CodePage* page = PageFor(codePage);
    return page ? page->upper : Ansi()->upper;
}

} // namespace zp
