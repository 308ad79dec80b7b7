// The servers whose calls failed after outliving a command's deadline: a Tab on one of
// them ends at once for a minute, instead of waiting on it again.
#include <atomic>

#include "engine/text.h"
#include "sources/bounded.h"

namespace zarelin {

namespace {

struct Remembered {
    char Target[TargetSize];
    DWORD Since;
};

constexpr int RememberedSlots = 8;
Remembered remembered[RememberedSlots];
// Workers add, the host's thread reads: a lock that needs no platform call.
std::atomic_flag rememberedLock = ATOMIC_FLAG_INIT;

class RememberedGuard {
  public:
    RememberedGuard() {
        while (rememberedLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~RememberedGuard() { rememberedLock.clear(std::memory_order_release); }
};

// Targets name the same server or drive: letters in any case, either separator.
bool SameTarget(const char* a, const char* b) {
    for (;; ++a, ++b) {
        bool separators = (*a == '\\' || *a == '/') && (*b == '\\' || *b == '/');
        char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
        char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
        if (!separators && x != y) return false;
        if (!*a) return true;
    }
}

bool Fresh(const Remembered& slot, DWORD now) {
    return slot.Target[0] && now - slot.Since < UnreachableMemory;
}

} // namespace

// Errors that say the server was not reached, as against an answer such as "no such
// file": only those make a server worth skipping.
bool IsUnreachable(DWORD error) {
    static const DWORD unreachable[] = {
        51,   // ERROR_REM_NOT_LIST
        53,   // ERROR_BAD_NETPATH
        58,   // ERROR_BAD_NET_RESP
        59,   // ERROR_UNEXP_NET_ERR
        64,   // ERROR_NETNAME_DELETED
        121,  // ERROR_SEM_TIMEOUT
        1225, // ERROR_CONNECTION_REFUSED
        1231, // ERROR_NETWORK_UNREACHABLE
        1232, // ERROR_HOST_UNREACHABLE
    };
    for (DWORD code : unreachable)
        if (error == code) return true;
    return false;
}

void Remember(const char* target) {
    DWORD now = os.GetTickCount();
    RememberedGuard hold;
    // The server's own slot, else a free one, else the oldest.
    Remembered* slot = nullptr;
    for (Remembered& candidate : remembered) {
        if (SameTarget(candidate.Target, target) || !Fresh(candidate, now)) {
            slot = &candidate;
            break;
        }
        if (!slot || now - candidate.Since > now - slot->Since) slot = &candidate;
    }
    CopyBounded(slot->Target, sizeof slot->Target, target);
    slot->Since = now;
}

bool IsRemembered(const char* target) {
    if (!target[0]) return false;
    DWORD now = os.GetTickCount();
    RememberedGuard hold;
    for (const Remembered& slot : remembered)
        if (Fresh(slot, now) && SameTarget(slot.Target, target)) return true;
    return false;
}

void ForgetUnreachable() {
    RememberedGuard hold;
    for (Remembered& slot : remembered)
        slot.Target[0] = 0;
}

} // namespace zarelin
