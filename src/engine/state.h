// The module's whole memory: one global CompletionState, set up at start-up and kept
// until the module is unloaded, and the candidate list of the current search.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace zarelin {

constexpr int32_t LineBufferSize = 1024; // lines and masks: at most 1023 characters
constexpr int32_t PromptBufferSize = 80;
// The candidate array grows by half its capacity, never by fewer than 10 records (10,
// 20, 30, 45, 67...): a growth can copy the whole array, as the Windows heap does when
// a block cannot grow where it lies, and growing by a fixed step would make gathering
// n candidates cost n^2.
constexpr int32_t CandidateGrowth = 10;

// `NetPattern` of a file word.
constexpr int32_t NoPattern = -1;
// `NetPattern` of a server word: the pattern starts right after the two backslashes.
constexpr int32_t ServerPattern = 2;

// `EnumHandle` values that are not live handles.
inline HANDLE const EnumNone = nullptr;                          // nothing open yet
inline HANDLE const EnumReadWhole = reinterpret_cast<HANDLE>(1); // source read in one go
inline HANDLE const EnumPending = reinterpret_cast<HANDLE>(2);   // a call in Pending has it

struct NetCall;
enum class CallKind : int32_t;

struct Candidate {
    char Name[260];      // the name to insert: a file name, a server, or '\\server\share'
    char ShortName[13];  // the 8.3 name, empty when there is none
    uint8_t IsDirectory; // 1: a directory or network container, a backslash follows it
};
static_assert(sizeof(Candidate) == 274, "Candidate is 274 bytes");

struct CompletionState {
    // The four options, persisted in the registry.
    int32_t ShortFileNames;      // insert the 8.3 name when there is one
    int32_t ShowHiddenShares;    // list shares in bulk, hidden ones included
    int32_t CurrentDomainOnly;   // servers of the workgroup or domain only
    int32_t SingleEntriesInMenu; // the list command shows a menu for one candidate too

    char LastLine[LineBufferSize];        // the line when the search began, then as last written
    char Line[LineBufferSize];            // the current line as read from the host
    char Mask[LineBufferSize];            // the search mask; for network words the server part
    char LastPrompt[PromptBufferSize];    // console prompt at the last insertion
    char CurrentPrompt[PromptBufferSize]; // console prompt at the last cursor location
    int32_t CursorPos;    // cursor index in Line (may lie beyond its end in the editor)
    int32_t OpenFrom;     // last invocation context; 5 is the editor
    int32_t ResetPending; // 1 forces a new search at the next refresh

    HANDLE EnumHandle;  // EnumNone, EnumReadWhole, or a live search/enumeration handle
    int32_t WordStart;  // first character of the word, its opening quote included
    int32_t WordEnd;    // the word's terminating space or closing quote, or the line's end
    int32_t NameStart;  // first character a candidate replaces
    int32_t NetPattern; // index in Mask of a network word's pattern, or NoPattern

    Candidate* Candidates;     // in the order found; sorted only by the list command
    int32_t CandidateCount;    // candidates found
    int32_t CandidateCapacity; // slots allocated
    int32_t CurrentIndex;      // candidate now in the line, -1 when none

    uint8_t* NetBuffer;     // one network-resource entry of the one-per-call enumeration
    uint32_t NetBufferSize; // its size in bytes

    NetCall* Pending; // this search's network call that outlived a deadline
    NetCall* Orphan;  // the last search's pending first call, until this one adopts it
    DWORD Deadline;   // the tick count at which the current command stops waiting

    // --- Search state and candidate list ---------------------------------------------

    // Start-up values: options at their defaults, LastLine unlike any real line.
    void Init();
    // Appends a candidate; 1 when appended, 0 when memory ran out or a name does not
    // fit its field (a cut name would insert the wrong one). When the array is full
    // it grows as CandidateGrowth says, or by 10 records when the larger block cannot
    // be had.
    int32_t AddCandidate(const char* name, const char* shortName, int32_t isDirectory);
    // Makes room for `growth` more candidates; false, with the list as it was, when the
    // memory cannot be had.
    bool GrowCandidates(int32_t growth);
    // The first steps of every new search: closes the source, empties the list.
    void ResetSearch();
    // Sorts the candidates by name in the list menu's order (NameLess); the order among
    // names that tie is unspecified.
    void SortCandidates();
    // Marks LastLine so that the next refresh cannot continue the search.
    void SpoilLastLine();

    // --- Word under the cursor ---------------------------------------------------------

    // Parses the word under the cursor into WordStart, WordEnd, NameStart, Mask and
    // NetPattern. An empty Mask means the word cannot be searched (it fills the line).
    void StartSearch();

    // --- Candidate sources -------------------------------------------------------------

    // Adds candidates from the source the word selects; nonzero when one was added.
    int32_t FetchCandidate();
    int32_t FetchFileName();
    int32_t FetchServerName();
    int32_t FetchShareName();
    // Adds every name `list` finds that matches the word, the listing run on a worker
    // and read whole; nonzero when one was added.
    int32_t ListNames(void (*list)(NetCall& call), const char* target);
    // Opens the one-entry-per-call enumeration below `container` into EnumHandle, with
    // a fresh 256-byte NetBuffer; false, with EnumHandle 0, when it cannot be opened.
    // The record's type chooses the ANSI or the UTF-16 enumeration.
    template <typename Resource> bool OpenNetEnumeration(Resource& container, DWORD usage);
    // Reads the next entry of that enumeration into NetBuffer; null at its end.
    template <typename Resource = NETRESOURCEA> Resource* ReadNetEntry();
    // The next entry of the file search, the first one included; false at its end.
    bool FindEntry(WIN32_FIND_DATAA* entry);

    // --- Network calls with a bound (sources/bounded.h) ---------------------------------

    // The command's deadline for network calls starts now.
    void ArmDeadline();
    // A call of `kind` on `target` ("\\server", "X:" or ""), its inputs for the caller
    // to fill; null when memory ran out or the target failed late a moment ago.
    NetCall* NewCall(CallKind kind, const char* target);
    // Starts `fresh` on a worker, or adopts the last search's twin of it: it becomes
    // Pending, and EnumHandle EnumPending. False when no worker could be had: `fresh`
    // then ends as a failed call, its inputs handed back, for the caller to end.
    bool Launch(NetCall* fresh);
    // Launches `fresh`, or with null goes on with Pending, and waits for it until the
    // deadline. The finished call, for the caller to take the results of and end with
    // EndCall; null while it still runs (it stays Pending) or when there was no call.
    NetCall* Await(NetCall* fresh);
    // The next entry of Pending, a file listing, waited for until the deadline: 1 when
    // one came, -1 at the listing's end, 0 while it still runs.
    int32_t TakeFile(WIN32_FIND_DATAA* entry);
    // What is left of the command's deadline, in milliseconds.
    DWORD TimeLeft() const;
    void EndCall(NetCall* call);
    // Whether the search waits on the network and has inserted nothing yet.
    bool Waiting() const { return Pending && CurrentIndex == -1; }
    // Whether the call this search waits for is of `kind`.
    bool Resumes(CallKind kind) const;
    // A new search: a pending first call is set aside for it to adopt, any other
    // abandoned.
    void SetAsideCall();
    // Lets go of the call in `slot`: it finishes on its own and frees what it got.
    void Abandon(NetCall*& slot);
    void AbandonCalls();

    // --- Line access (the host's command line or editor) ---------------------------------

    // Reads the line into Line; false when the host gave no line to work on.
    bool GetLine();
    // The cursor's index in Line, the length of Line when only the prompt shows, or -1
    // when the cursor cannot be located. On the command line also sets CurrentPrompt.
    int32_t FindCursor();
    // Hands Line back to the host; in the editor the cursor goes to `cursorOffset`.
    void PutLine(int32_t cursorOffset);

    // --- Insertion and the completion commands ----------------------------------------

    // Replaces the word by the candidate at CurrentIndex and hands the line back; false,
    // with the line untouched, when the new line would not fit its buffer.
    bool InsertCandidate();
    // Reads the line and cursor, and continues the search or starts a new one; false
    // when there is no line to work on.
    bool RefreshLine();
    void CompleteNext();
    void CompletePrevious();
    void CompleteFromList();
};

// The platform's standard beep: the one signal that a command had nothing to insert.
void Beep();

extern CompletionState State;

// Set at start-up: the platform is of the NT family. Selects the server and share
// listing calls and where a server candidate starts.
extern int32_t IsNT;

} // namespace zarelin
