// Threads as Windows hands them out: a handle that is signalled when the thread ends and
// that the creator may close at any time, a thread that holds a reference to the
// library it runs in until it ends, and the tick count to measure waits with.
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

constexpr uint32_t ThreadMagic = 0x54485244; // tells a thread handle from a stray pointer

struct Thread {
    uint32_t magic = ThreadMagic;
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    int references = 2; // the creator's handle, and the thread itself until it ends
    LPTHREAD_START_ROUTINE start;
    void* parameter;
    // Where FreeLibraryAndExitThread leaves the thread's code: the library that code
    // lies in may be gone once the reference is let go, so nothing may return into it
    // or unwind through it.
    jmp_buf exit;
};

thread_local Thread* current = nullptr;

Thread* FromHandle(HANDLE handle) {
    auto* thread = static_cast<Thread*>(handle);
    if (!thread || handle == INVALID_HANDLE_VALUE || thread->magic != ThreadMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return thread;
}

void Release(Thread* thread) {
    bool last;
    {
        std::lock_guard<std::mutex> hold(thread->lock);
        last = --thread->references == 0;
    }
    if (!last) return;
    thread->magic = 0;
    delete thread;
}

void* Run(void* argument) {
    Thread* thread = static_cast<Thread*>(argument);
    current = thread;
    if (setjmp(thread->exit) == 0) thread->start(thread->parameter);
    current = nullptr;
    {
        std::lock_guard<std::mutex> hold(thread->lock);
        thread->done = true;
    }
    thread->ended.notify_all();
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
    auto* thread = new (std::nothrow) Thread;
    if (!thread) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    thread->start = start;
    thread->parameter = parameter;
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

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Thread* thread = FromHandle(handle);
    if (!thread) return WAIT_FAILED;
    std::unique_lock<std::mutex> hold(thread->lock);
    auto done = [thread] { return thread->done; };
    if (milliseconds == INFINITE)
        thread->ended.wait(hold, done);
    else
        thread->ended.wait_for(hold, std::chrono::milliseconds(milliseconds), done);
    return thread->done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle) {
    Thread* thread = FromHandle(handle);
    if (!thread) return FALSE;
    Release(thread);
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
