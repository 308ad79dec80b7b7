// Local memory and the thread's last-error code.
#include "win32.h"

#include <cstdlib>
#include <cstring>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    // Windows hands out a valid block for zero bytes; malloc(0) may return null.
    void* mem = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                        : std::malloc(bytes ? bytes : 1);
    if (!mem) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return mem;
}

HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT /*flags*/) {
    // As on Windows, a failed reallocation leaves the old block valid.
    void* grown = std::realloc(mem, bytes ? bytes : 1);
    if (!grown) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return grown;
}

HLOCAL LocalFree(HLOCAL mem) {
    std::free(mem);
    return nullptr;
}

DWORD GetLastError(void) {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

} // extern "C"
