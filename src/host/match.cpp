// Messages and wildcard matching through the host, with the module's own fallback.
#include <cstring>

#include "host/host.h"
#include "platform/os.h"

namespace zarelin {

namespace {

struct CaseTable {
    unsigned char upper[256];
};

constexpr CaseTable AsciiCase() {
    CaseTable table = {};
    for (int b = 0; b < 256; ++b)
        table.upper[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 32 : b);
    return table;
}

// Each OEM byte's upper-case form: names match as the file search matches them, with
// letters outside ASCII folded too once LoadCaseTable has read the page.
CaseTable OemCase = AsciiCase();

unsigned char FoldCase(char c) {
    return OemCase.upper[static_cast<unsigned char>(c)];
}

const char* LastComponent(const char* name) {
    const char* last = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') last = p + 1;
    return last;
}

} // namespace

void LoadCaseTable() {
    OemCase = AsciiCase();
    // Through UTF-16 and back: a byte whose upper-case form the page lacks stays.
    constexpr int Count = 255; // every byte but the terminator
    char bytes[Count], back[Count];
    WCHAR wide[Count], upper[Count];
    for (int i = 0; i < Count; ++i)
        bytes[i] = static_cast<char>(i + 1);
    if (os.MultiByteToWideChar(CP_OEMCP, 0, bytes, Count, wide, Count) != Count) return;
    std::memcpy(upper, wide, sizeof wide);
    if (os.CharUpperBuffW(upper, Count) != Count ||
        os.WideCharToMultiByte(CP_OEMCP, 0, upper, Count, back, Count, nullptr, nullptr) != Count)
        return; // ASCII letters at least
    for (int i = 0; i < Count; ++i) {
        auto folded = static_cast<unsigned char>(back[i]);
        if (folded && wide[folded - 1] == upper[i]) OemCase.upper[i + 1] = folded;
    }
}

const char* Message(int32_t id) {
    const char* text = Host.HostMessage ? Host.HostMessage(Host.ModuleNumber, id) : nullptr;
    return text ? text : "";
}

bool WildcardMatch(const char* pattern, const char* text) {
    // Greedy match with one backtrack point: the last '*' seen.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*text) {
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (*pattern == '?' || (*pattern && FoldCase(*pattern) == FoldCase(*text))) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

bool MatchName(const char* pattern, const char* name) {
    if (Host.HostMatch) return Host.HostMatch(pattern, name, 1) != 0;
    return WildcardMatch(pattern, LastComponent(name));
}

} // namespace zarelin
