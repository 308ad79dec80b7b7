// Network calls with a bound: the worker, the wait, and the servers that failed late.
#include "sources/bounded.h"

#include <cstring>
#include <new>

#include "engine/text.h"
#include "sources/network.h"

namespace zarelin {

namespace {

enum CallStage : int32_t {
    Running,   // the worker has the call
    Finished,  // the results are the host's
    Abandoned, // nobody wants the results: the worker frees them
};

// --- The calls themselves, on the worker --------------------------------------------

// Rounds the host's thread looks at an empty ring before it sleeps, a few hundred
// microseconds: a worker that reads a fast listing is back within them, and a sleep and
// a wake-up for each entry cost more than the entry.
constexpr int SpinLimit = 20000;

void Pause() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

// How often a worker with a full ring looks whether its search still wants it.
constexpr DWORD RingPoll = 50;

// Hands one entry to the host's thread; false when the search let the listing go.
// `takenSeen` is the worker's last reading of what the host has taken.
bool Hand(NetCall& call, const WIN32_FIND_DATAA& entry, uint32_t& takenSeen) {
    uint32_t written = call.Written.load(std::memory_order_relaxed);
    while (written - takenSeen >= RingSize) {
        takenSeen = call.Taken.load(std::memory_order_acquire);
        if (written - takenSeen < RingSize) break;
        if (call.Stage.load() == Abandoned) return false;
        os.WaitForSingleObject(call.SpaceFree, RingPoll);
    }
    if (call.Stage.load() == Abandoned) return false;
    // Only what the file source reads, and of the name no more than it holds.
    RingEntry& slot = call.Ring[written % RingSize];
    slot.Attributes = entry.dwFileAttributes;
    std::memcpy(slot.ShortName, entry.cAlternateFileName, sizeof slot.ShortName);
    size_t name = strnlen(entry.cFileName, sizeof slot.Name - 1);
    std::memcpy(slot.Name, entry.cFileName, name);
    slot.Name[name] = 0;
    call.Written.store(written + 1, std::memory_order_release);
    if (call.Sleeping.load()) os.SetEvent(call.DataReady);
    return true;
}

void ListFiles(NetCall& call) {
    WIN32_FIND_DATAA entry;
    HANDLE search = os.FindFirstFileA(call.Text, &entry);
    bool more = search != INVALID_HANDLE_VALUE;
    DWORD error = more ? ERROR_SUCCESS : os.GetLastError();
    uint32_t takenSeen = 0;
    while (more && Hand(call, entry, takenSeen)) {
        more = os.FindNextFileA(search, &entry) != 0;
        if (!more) error = os.GetLastError();
    }
    if (search != INVALID_HANDLE_VALUE) os.FindClose(search);
    call.Error = error;
    call.Ended.store(true, std::memory_order_release);
    os.SetEvent(call.DataReady);
}

void Run(NetCall& call) {
    switch (call.Kind) {
    case CallKind::Files:
        ListFiles(call);
        break;
    case CallKind::OpenEnum:
        call.Error =
            call.Wide
                ? OpenEnumeration(call.ContainerWide, call.Usage, &call.Handle, &call.AlternateUsed)
                : OpenEnumeration(call.Container, call.Usage, &call.Handle, &call.AlternateUsed);
        break;
    case CallKind::ReadEntry:
        call.Found =
            call.Wide
                ? ReadEntry<NETRESOURCEW>(call.Handle, &call.Buffer, &call.BufferSize, &call.Error)
                : ReadEntry<NETRESOURCEA>(call.Handle, &call.Buffer, &call.BufferSize, &call.Error);
        break;
    case CallKind::Names:
        call.List(call);
        break;
    }
}

// Lets go of what a call got, when nobody will take it.
void Release(NetCall& call) {
    switch (call.Kind) {
    case CallKind::Files: // the worker closed its search
        break;
    case CallKind::OpenEnum:
        if (call.Error == ERROR_SUCCESS && call.Handle) os.WNetCloseEnum(call.Handle);
        break;
    case CallKind::ReadEntry:
        os.WNetCloseEnum(call.Handle);
        if (call.Buffer) os.LocalFree(call.Buffer);
        break;
    case CallKind::Names:
        break;
    }
}

void Destroy(NetCall* call) {
    if (call->Names) os.LocalFree(call->Names);
    if (call->Ring) os.LocalFree(call->Ring);
    if (call->DataReady) os.CloseHandle(call->DataReady);
    if (call->SpaceFree) os.CloseHandle(call->SpaceFree);
    call->~NetCall();
    os.LocalFree(call);
}

// Workers started and not yet ended: what a test waits for before it takes away the
// platform calls they use.
std::atomic<int32_t> workersRunning{0};

DWORD WINAPI Work(void* parameter) {
    auto* call = static_cast<NetCall*>(parameter);
    HMODULE module = call->Module; // the call may be gone below
    Run(*call);
    int32_t running = Running;
    if (!call->Stage.compare_exchange_strong(running, Finished)) {
        // Abandoned: the search that wanted it has moved on.
        if (call->Late && call->Target[0] && IsUnreachable(call->Error)) Remember(call->Target);
        Release(*call);
        Destroy(call);
    }
    workersRunning.fetch_sub(1);
    os.FreeLibraryAndExitThread(module, 0);
    return 0; // not reached
}

bool SameWide(const WCHAR* a, const WCHAR* b) {
    for (; *a == *b; ++a, ++b)
        if (!*a) return true;
    return false;
}

// Whether a fresh call would do what `pending` already does.
bool SameCall(const NetCall& a, const NetCall& b) {
    return a.Kind == b.Kind && std::strcmp(a.Text, b.Text) == 0 && a.Usage == b.Usage &&
           a.List == b.List && a.Family == b.Family && a.Wide == b.Wide &&
           SameWide(a.WideText, b.WideText) &&
           (a.Kind != CallKind::OpenEnum ||
            (std::strcmp(a.Container.lpProvider ? a.Container.lpProvider : "",
                         b.Container.lpProvider ? b.Container.lpProvider : "") == 0 &&
             a.ContainerWide.lpProvider == b.ContainerWide.lpProvider));
}

} // namespace

int32_t WorkersRunning() {
    return workersRunning.load();
}

bool AddName(NetCall& call, const char* name) {
    uint32_t length = static_cast<uint32_t>(std::strlen(name)) + 1;
    if (call.NamesSize - call.NamesUsed < length) {
        uint32_t size = call.NamesSize ? call.NamesSize * 2 : 4096;
        while (size - call.NamesUsed < length)
            size *= 2;
        void* grown = call.Names ? os.LocalReAlloc(call.Names, size, LMEM_MOVEABLE)
                                 : os.LocalAlloc(LMEM_FIXED, size);
        if (!grown) return false;
        call.Names = static_cast<char*>(grown);
        call.NamesSize = size;
    }
    std::memcpy(call.Names + call.NamesUsed, name, length);
    call.NamesUsed += length;
    return true;
}

const char* NextName(const NetCall& call, uint32_t* cursor) {
    if (*cursor >= call.NamesUsed) return nullptr;
    const char* name = call.Names + *cursor;
    *cursor += static_cast<uint32_t>(std::strlen(name)) + 1;
    return name;
}

// --- The host's side ----------------------------------------------------------------

NetCall* CompletionState::NewCall(CallKind kind, const char* target) {
    if (IsRemembered(target)) return nullptr; // failed late a moment ago: not again
    void* memory = os.LocalAlloc(LMEM_ZEROINIT, sizeof(NetCall));
    if (!memory) return nullptr;
    auto* call = new (memory) NetCall{};
    call->Kind = kind;
    call->Handle = INVALID_HANDLE_VALUE;
    CopyBounded(call->Target, sizeof call->Target, target);
    return call;
}

void CompletionState::ArmDeadline() {
    Deadline = os.GetTickCount() + CommandBound;
}

bool CompletionState::Launch(NetCall* fresh) {
    if (Orphan && SameCall(*Orphan, *fresh)) {
        Destroy(fresh); // the last search's call does this one's work
        Pending = Orphan;
        Orphan = nullptr;
        EnumHandle = EnumPending;
        return true;
    }
    Abandon(Orphan);
    fresh->Stage = Running;
    if (os.GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<const CHAR*>(&Work), &fresh->Module)) {
        workersRunning.fetch_add(1);
        fresh->Thread = os.CreateThread(nullptr, 0, Work, fresh, 0, nullptr);
        if (fresh->Thread) {
            Pending = fresh;
            EnumHandle = EnumPending;
            return true;
        }
        workersRunning.fetch_sub(1);
        os.FreeLibrary(fresh->Module);
    }
    // No worker: the call ends as a failed one, and hands back what it holds.
    fresh->Stage = Finished;
    fresh->Error = ERROR_NOT_ENOUGH_MEMORY;
    return false;
}

DWORD CompletionState::TimeLeft() const {
    int32_t left = static_cast<int32_t>(Deadline - os.GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

NetCall* CompletionState::Await(NetCall* fresh) {
    if (fresh && !Launch(fresh)) return fresh;
    NetCall* call = Pending;
    if (!call) return nullptr;
    os.WaitForSingleObject(call->Thread, TimeLeft());
    if (call->Stage.load() != Finished) {
        call->Late = true;
        return nullptr;
    }
    Pending = nullptr;
    os.CloseHandle(call->Thread);
    if (call->Late && call->Target[0] && IsUnreachable(call->Error)) Remember(call->Target);
    return call;
}

int32_t CompletionState::TakeFile(WIN32_FIND_DATAA* entry) {
    NetCall& call = *Pending;
    uint32_t taken = call.Taken.load(std::memory_order_relaxed);
    for (;;) {
        // The worker is usually a step ahead: a short spin spares the host a sleep and
        // the worker a wake-up for every entry.
        for (int spin = 0; spin < SpinLimit; ++spin) {
            if (call.WrittenSeen == taken)
                call.WrittenSeen = call.Written.load(std::memory_order_acquire);
            if (call.WrittenSeen != taken) {
                const RingEntry& slot = call.Ring[taken % RingSize];
                entry->dwFileAttributes = slot.Attributes;
                std::memcpy(entry->cAlternateFileName, slot.ShortName, sizeof slot.ShortName);
                std::strcpy(entry->cFileName, slot.Name);
                call.Taken.store(taken + 1, std::memory_order_release);
                // A worker that found the ring full waits: woken every half ring, it
                // refills in one go.
                if ((taken + 1) % (RingSize / 2) == 0) os.SetEvent(call.SpaceFree);
                return 1;
            }
            if (call.Ended.load(std::memory_order_acquire)) {
                if (call.Written.load(std::memory_order_acquire) != taken) continue;
                if (call.Late && call.Target[0] && IsUnreachable(call.Error)) Remember(call.Target);
                return -1;
            }
            Pause();
        }
        // Told before the last look, so that the worker sees it or the look sees the
        // worker's entry: no entry is missed by both.
        call.Sleeping.store(true);
        DWORD left = TimeLeft();
        bool woken = call.Written.load() != taken || call.Ended.load() ||
                     (left > 0 && os.WaitForSingleObject(call.DataReady, left) == WAIT_OBJECT_0);
        call.Sleeping.store(false);
        if (!woken && call.Written.load() == taken && !call.Ended.load()) {
            call.Late = true;
            return 0;
        }
    }
}

bool CompletionState::Resumes(CallKind kind) const {
    return Pending && Pending->Kind == kind;
}

void CompletionState::EndCall(NetCall* call) {
    Destroy(call);
}

void CompletionState::Abandon(NetCall*& slot) {
    NetCall* call = slot;
    if (!call) return;
    slot = nullptr;
    os.CloseHandle(call->Thread);
    int32_t running = Running;
    if (call->Stage.compare_exchange_strong(running, Abandoned)) return; // the worker frees it
    if (call->Late && call->Target[0] && IsUnreachable(call->Error)) Remember(call->Target);
    Release(*call);
    Destroy(call);
}

void CompletionState::AbandonCalls() {
    Abandon(Pending);
    Abandon(Orphan);
}

void CompletionState::SetAsideCall() {
    if (!Pending) return;
    // A first call may serve the new search; one that continues a listing cannot.
    bool first = Pending->Kind != CallKind::ReadEntry && Pending->Taken.load() == 0;
    if (!first) return Abandon(Pending);
    Abandon(Orphan);
    Orphan = Pending;
    Pending = nullptr;
}

} // namespace zarelin
