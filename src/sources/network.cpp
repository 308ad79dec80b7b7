// Server and share names. The network sources are not built yet: such words yield
// nothing, and the command beeps.
#include "sources/network.h"

#include "engine/state.h"

namespace zarelin {

NetworkCalls Net;

namespace {

template <typename Fn> Fn Lookup(HMODULE library, const char* name) {
    if (!library) return nullptr;
    // Through the generic function type, as GetProcAddress results are meant to be cast.
    using AnyFn = void (*)();
    return reinterpret_cast<Fn>(reinterpret_cast<AnyFn>(os.GetProcAddress(library, name)));
}

} // namespace

void LoadNetworkCalls() {
    Net = NetworkCalls{};
    if (IsNT) {
        HMODULE netapi = os.LoadLibraryA("NETAPI32.DLL");
        Net.NetServerEnum = Lookup<NetServerEnumFn>(netapi, "NetServerEnum");
        Net.NetShareEnumNt = Lookup<NetShareEnumNtFn>(netapi, "NetShareEnum");
        Net.NetApiBufferFree = Lookup<NetApiBufferFreeFn>(netapi, "NetApiBufferFree");
    } else {
        HMODULE svrapi = os.LoadLibraryA("svrapi.DLL");
        Net.NetShareEnumOther = Lookup<NetShareEnumOtherFn>(svrapi, "NetShareEnum");
    }
}

int32_t CompletionState::FetchServerName() {
    return 0;
}

int32_t CompletionState::FetchShareName() {
    return 0;
}

} // namespace zarelin
