// Network calls with a bound: a call that may wait on a server runs on a worker thread
// of its own, and the host's thread waits for it only until the command's deadline.
//
// A call that outlives the deadline stays pending in the search, and the next command
// of the same search waits for it again, so a slow server completes on a later command.
// A new search adopts a pending first call with the same inputs (the list command
// starts a new search every time); any other pending call is abandoned: it finishes on
// its own thread, frees what it got and ends. The worker holds a reference to the
// module meanwhile, so unloading the module never pulls its code from under it. A
// server whose call outlived the deadline and then failed is skipped for a while. No
// host service is ever called from a worker: matching happens on the host's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/state.h"
#include "sources/network.h"

namespace zarelin {

// How long a command may wait on the network, in all.
constexpr DWORD CommandBound = 2000;
// How long a server that failed after outliving a deadline is skipped.
constexpr DWORD UnreachableMemory = 60000;

enum class CallKind : int32_t {
    Files,     // FindFirstFileA on Text, then every entry: handed over as they come
    OpenEnum,  // WNetOpenEnumA below Container, retried with the alternate provider
    ReadEntry, // one entry of the enumeration Handle into Buffer
    Names,     // List fills Names: a listing read whole
};

// Room for a call's target: "\\server" or "X:".
constexpr size_t TargetSize = 262;
// Entries of a file listing the worker may find ahead of the host's thread.
constexpr uint32_t RingSize = 256;

// What the file source reads of a found entry, laid out so that a short name's entry
// fills one cache line: it crosses from one processor's cache to the other's.
struct RingEntry {
    DWORD Attributes;
    char ShortName[14];
    char Name[MAX_PATH];
};

struct NetCall {
    CallKind Kind;
    std::atomic<int32_t> Stage; // CallStage
    HANDLE Thread;
    HMODULE Module;          // the worker's reference to the module
    char Target[TargetSize]; // what the call waits on: skipped while remembered; "" none
    bool Late;               // outlived a command's deadline
    DWORD Error;             // what the call met: ERROR_SUCCESS when it succeeded

    char Text[LineBufferSize]; // Files: the mask; OpenEnum: the container's name;
                               // Names: what the listing is of
    HANDLE Handle;             // OpenEnum: what was opened; ReadEntry: what is read
    bool Found;                // ReadEntry: an entry came

    bool Wide;                      // OpenEnum, ReadEntry: the UTF-16 enumeration
    NETRESOURCEA Container;         // OpenEnum: ANSI, its name pointing at Text
    NETRESOURCEW ContainerWide;     // OpenEnum: UTF-16, its name pointing at WideText
    WCHAR WideText[WideNameLength]; // OpenEnum: the UTF-16 container's name
    DWORD Usage;
    bool AlternateUsed; // the platform rejected the provider and the alternate served

    uint8_t* Buffer; // ReadEntry: the search's entry buffer, the call's while it runs
    DWORD BufferSize;

    void (*List)(NetCall& call); // Names: the listing, run on the worker
    int32_t Family;              // Names: IsNT when the call was made
    char* Names;                 // Names: zero-terminated names back to back
    uint32_t NamesUsed, NamesSize;

    // Files: a ring the worker fills and the host's thread empties, one writer and one
    // reader, so that a step costs no thread and no lock. DataReady is set when an entry
    // comes to an empty ring or the listing ends, SpaceFree when half the ring is free.
    HANDLE DataReady, SpaceFree;
    RingEntry* Ring; // RingSize entries
    // Each side's counter apart from the other's, on a cache line of its own, so that
    // neither slows the other (the record comes from LocalAlloc: no alignment to ask).
    // Each side reads the other's again only when what it last read is used up.
    std::atomic<uint32_t> Written; // entries the worker has put in the ring
    std::atomic<bool> Ended;       // the listing is over; Error says why
    char Apart[64];
    std::atomic<uint32_t> Taken; // entries the host has taken; once one is, no new search
                                 // can adopt the listing
    std::atomic<bool> Sleeping;  // the host waits for DataReady
    uint32_t WrittenSeen;        // the host's last reading of Written
};

// Workers started that have not yet ended.
int32_t WorkersRunning();

// Appends a name to a Names call's list; false when memory ran out.
bool AddName(NetCall& call, const char* name);

// The names of a finished Names call, one after the other: `*cursor` starts at 0.
const char* NextName(const NetCall& call, uint32_t* cursor);

// Whether `error` says the server was not reached, as against an answer such as "no
// such file": only such a failure makes a server worth skipping.
bool IsUnreachable(DWORD error);

// Remembers that a call on `target` failed after outliving a deadline. Any thread.
void Remember(const char* target);

// Whether `target` failed after outliving a deadline within the last UnreachableMemory.
bool IsRemembered(const char* target);

// Forgets every remembered server (start-up, and tests).
void ForgetUnreachable();

} // namespace zarelin
