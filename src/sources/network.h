// The server and share listing calls, looked up by name at start-up in the library of
// the platform family that has them. A call that was not found stays null and is
// never made.
#pragma once

#include "platform/os.h"

namespace zarelin {

struct NetworkCalls {
    NetServerEnumFn NetServerEnum;         // NT family, NETAPI32
    NetShareEnumNtFn NetShareEnumNt;       // NT family, NETAPI32
    NetShareEnumOtherFn NetShareEnumOther; // other family, svrapi
    NetApiBufferFreeFn NetApiBufferFree;   // NT family, NETAPI32
};

extern NetworkCalls Net;

// Fills Net for the family IsNT names.
void LoadNetworkCalls();

} // namespace zarelin
