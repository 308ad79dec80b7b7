// Messages and wildcard matching through the host, with the module's own fallback.
#include <cstring>

#include "host/host.h"

namespace zarelin {

namespace {

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

const char* LastComponent(const char* name) {
    const char* last = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/') last = p + 1;
    return last;
}

} // namespace

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
