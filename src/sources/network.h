// What the server and share sources share: the listing calls looked up by name at
// start-up, the conversions into the console's code page, and the records the
// one-per-call enumerations are opened with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

namespace zarelin {

struct NetworkCalls {
    NetServerEnumFn NetServerEnum;         // NT family, NETAPI32
    NetShareEnumNtFn NetShareEnumNt;       // NT family, NETAPI32
    NetShareEnumOtherFn NetShareEnumOther; // other family, svrapi
    NetApiBufferFreeFn NetApiBufferFree;   // NT family, NETAPI32
};

// A call that was not found stays null and is never made.
extern NetworkCalls Net;

// Fills Net for the family IsNT names.
void LoadNetworkCalls();

// A share-list entry of the other family (information level 1).
struct ShareInfo1Other {
    char shi1_netname[13];
    char shi1_pad1;
    unsigned short shi1_type;
    char* shi1_remark;
};

// The provider tried after the platform rejected the first one; kept for the
// module's lifetime.
extern char AlternateProvider[];

// The comment of the records the enumerations are opened with: empty, but writable
// as the record's type demands.
extern char EmptyComment[];

// Room for a server or share name in UTF-16, in units.
constexpr int WideNameLength = 200;

// The network-resource records the workgroup and share enumerations open.
extern NETRESOURCEA ServerResource;
extern NETRESOURCEA ShareResource;

// Opens the enumeration below `container` (ANSI or UTF-16 by the record's type); when
// the platform rejects its provider, once more with the alternate one (then
// `alternateUsed`). The platform's answer.
template <typename Resource>
DWORD OpenEnumeration(Resource& container, DWORD usage, HANDLE* handle, bool* alternateUsed);

// Reads the next entry of enumeration `handle` into `*buffer` of `*size` bytes, which
// grows as the platform asks (or, as Wine's mpr does, answers nothing without saying
// why), up to a limit; false, with the platform's answer in `error`, at the end or on a
// failure.
template <typename Resource>
bool ReadEntry(HANDLE handle, uint8_t** buffer, DWORD* size, DWORD* error);

// Converts an ANSI name in place to the OEM code page, through UTF-16; false when it
// cannot be converted (the name is then not offered).
bool AnsiToOem(char* text);

// Converts a UTF-16 name into `target` of `size` bytes in the OEM code page; false
// when it does not fit or cannot be converted.
bool WideToOem(const WCHAR* name, char* target, size_t size);

} // namespace zarelin
