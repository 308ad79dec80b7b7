// Threads and events as Windows hands them out: a thread's handle is signalled when the
// thread ends and may be closed at any time; a thread holds a reference to the library
// it runs in until it ends; and the tick count to measure waits with.
#include <dlfcn.h>
#include <pthread.h>
#include <setjmp.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>

#include "win32.h"

namespace {

constexpr uint32_t WaitableMagic = 0x57414954; // tells our handles from stray pointers

// A thread or an event: what WaitForSingleObject waits for and CloseHandle closes.
struct Waitable {
    uint32_t magic = WaitableMagic;
    std::mutex lock;
    std::condition_variable signalled;
    bool set = false;        // a thread: it has ended; an event: it is set
    bool manualReset = true; // an event that stays set until reset; a thread's always does
    int references = 1;      // the handle, and a thread's own until it ends
    // A thread's start, and where FreeLibraryAndExitThread leaves its code: the library
    // that code lies in may be gone once the reference is let go, so nothing may return
    // into it or unwind through it.
    LPTHREAD_START_ROUTINE start = nullptr;
    void* parameter = nullptr;
    jmp_buf exit;
};

thread_local Waitable* current = nullptr;

Waitable* FromHandle(HANDLE handle) {
    auto* object = static_cast<Waitable*>(handle);
    if (!object || handle == INVALID_HANDLE_VALUE || object->magic != WaitableMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

void Release(Waitable* object) {
    bool last;
    {
        std::lock_guard<std::mutex> hold(object->lock);
        last = --object->references == 0;
    }
    if (!last) return;
    object->magic = 0;
    delete object;
}

void Signal(Waitable* object) {
    {
        std::lock_guard<std::mutex> hold(object->lock);
        object->set = true;
    }
    object->signalled.notify_all();
}

void* Run(void* argument) {
    Waitable* thread = static_cast<Waitable*>(argument);
    current = thread;
    if (setjmp(thread->exit) == 0) thread->start(thread->parameter);
    current = nullptr;
    Signal(thread);
    Release(thread);
    return nullptr;
}

} // namespace

extern "C" {

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    void* parameter, DWORD, DWORD* threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* thread = new (std::nothrow) Waitable;
    if (!thread) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    thread->start = start;
    thread->parameter = parameter;
    thread->references = 2;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize) pthread_attr_setstacksize(&attributes, stackSize);
    pthread_t id;
    int failed = pthread_create(&id, &attributes, Run, thread);
    pthread_attr_destroy(&attributes);
    if (failed) {
        delete thread;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId) *threadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(thread));
    return thread;
}

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, const CHAR* name) {
    if (name) { // named events are shared between processes: not needed here
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto* event = new (std::nothrow) Waitable;
    if (!event) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    event->manualReset = manualReset != 0;
    event->set = initialState != 0;
    return event;
}

BOOL SetEvent(HANDLE handle) {
    Waitable* event = FromHandle(handle);
    if (!event || event->start) return FALSE;
    Signal(event);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Waitable* object = FromHandle(handle);
    if (!object) return WAIT_FAILED;
    std::unique_lock<std::mutex> hold(object->lock);
    auto set = [object] { return object->set; };
    if (milliseconds == INFINITE)
        object->signalled.wait(hold, set);
    else
        object->signalled.wait_for(hold, std::chrono::milliseconds(milliseconds), set);
    if (!object->set) return WAIT_TIMEOUT;
    if (!object->manualReset) object->set = false; // an auto-reset event lets one waiter go
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    Waitable* object = FromHandle(handle);
    if (!object) return FALSE;
    Release(object);
    return TRUE;
}

DWORD GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000 +
                              static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

BOOL GetModuleHandleExA(DWORD flags, const CHAR* name, HMODULE* module) {
    if (!module || !(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Dl_info info;
    if (!dladdr(name, &info) || !info.dli_fname) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    // A new reference to the library already loaded; the program itself is known by no
    // path dlopen takes, and is never unloaded anyway.
    void* library = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    *module = library ? library : dlopen(nullptr, RTLD_LAZY);
    return TRUE;
}

BOOL FreeLibrary(HMODULE module) {
    return module && dlclose(module) == 0;
}

void FreeLibraryAndExitThread(HMODULE module, DWORD) {
    if (module) dlclose(module);
    if (current) longjmp(current->exit, 1);
    pthread_exit(nullptr);
}

} // extern "C"
