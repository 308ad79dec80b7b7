// File and directory names, fetched lazily: one acceptable entry per call, so stepping
// through a large directory costs one platform call per step in the common case.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "sources/bounded.h"

namespace zarelin {

namespace {

const char* const ExecutableExtensions[] = {".bat", ".btm", ".com", ".exe", ".cmd"};

bool IsExecutableName(const char* name) {
    size_t length = std::strlen(name);
    if (length < 4) return false;
    for (const char* extension : ExecutableExtensions)
        if (CompareNames(name + length - 4, extension) == 0) return true;
    return false;
}

bool IsDirectory(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// What a search of `mask` waits on when its folder is remote: '\\server' or 'X:';
// empty for the current drive.
void FolderTarget(const char* mask, char (&target)[TargetSize]) {
    size_t length = 0;
    if (IsSeparator(mask[0]) && IsSeparator(mask[1]))
        length = 2 + static_cast<size_t>(SpanUntil(mask + 2, "\\/"));
    else if (mask[0] && mask[1] == ':')
        length = 2;
    CopyBounded(target, sizeof target, mask, length < sizeof target ? length : 0);
}

// Whether the folder `mask` searches lies on a network, where a search may wait on a
// server: '\\server\share\...', or a drive the platform calls remote.
bool RemoteFolder(const char* mask) {
    if (IsSeparator(mask[0]) && IsSeparator(mask[1])) return true;
    if (!mask[0] || mask[1] != ':') return os.GetDriveTypeA(nullptr) == DRIVE_REMOTE;
    char root[] = {mask[0], ':', '\\', 0};
    return os.GetDriveTypeA(root) == DRIVE_REMOTE;
}

} // namespace

int32_t CompletionState::FetchFileName() {
    if (Mask[0] == 0) return 0; // a word too long to search

    // The handle stays open at the end, until the next search closes it; a first
    // search that failed opened nothing, and the next call retries it.
    WIN32_FIND_DATAA entry;
    if (EnumHandle == EnumReadWhole || !FindEntry(&entry)) return 0;

    // The first word is the command to run: only programs and directories. After
    // 'cd ' only directories make sense.
    bool commandWord = WordStart == 0;
    bool changeDirectory = WordStart == 3 && (Line[0] | 0x20) == 'c' && (Line[1] | 0x20) == 'd';
    for (;;) {
        // Both fields come from a platform record of fixed size; an unterminated one
        // is not a name this module can insert.
        entry.cFileName[sizeof entry.cFileName - 1] = 0;
        entry.cAlternateFileName[sizeof entry.cAlternateFileName - 1] = 0;
        const char* name = entry.cFileName;
        bool directory = IsDirectory(entry);
        bool acceptable = std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
                          (!commandWord || directory || IsExecutableName(name)) &&
                          (!changeDirectory || directory);
        if (acceptable) {
            // An 8.3 name longer than 12 characters is no 8.3 name: offer the long one.
            const char* shortName = entry.cAlternateFileName;
            if (std::strlen(shortName) >= sizeof Candidate::ShortName) shortName = "";
            return AddCandidate(name, shortName, directory);
        }
        if (!FindEntry(&entry)) return 0;
    }
}

bool CompletionState::FindEntry(WIN32_FIND_DATAA* entry) {
    if (EnumHandle == EnumNone) {
        if (!RemoteFolder(Mask)) {
            HANDLE search = os.FindFirstFileA(Mask, entry);
            if (search == INVALID_HANDLE_VALUE) return false;
            EnumHandle = search;
            return true;
        }
        // A folder on a network is listed on a worker, its entries handed over as they
        // come, so that neither the first nor a later one holds a command past its bound.
        char target[TargetSize];
        FolderTarget(Mask, target);
        NetCall* fresh = NewCall(CallKind::Files, target);
        if (!fresh) return false;
        CopyBounded(fresh->Text, sizeof fresh->Text, Mask);
        fresh->DataReady = os.CreateEventA(nullptr, FALSE, FALSE, nullptr);
        fresh->SpaceFree = os.CreateEventA(nullptr, FALSE, FALSE, nullptr);
        fresh->Ring =
            static_cast<RingEntry*>(os.LocalAlloc(LMEM_FIXED, RingSize * sizeof(RingEntry)));
        if (!fresh->DataReady || !fresh->SpaceFree || !fresh->Ring || !Launch(fresh)) {
            EndCall(fresh);
            return false;
        }
    } else if (EnumHandle != EnumPending) {
        // A live handle is a local search's: a remote one's stays with its worker.
        return os.FindNextFileA(EnumHandle, entry) != 0;
    }
    if (!Resumes(CallKind::Files)) return false;
    int32_t taken = TakeFile(entry);
    if (taken >= 0) return taken > 0;
    // The listing is over. One that gave nothing is asked for again by the next
    // command, as a local search that found nothing is.
    bool gaveSome = Pending->Taken.load() > 0;
    Abandon(Pending);
    EnumHandle = gaveSome ? EnumReadWhole : EnumNone;
    return false;
}

} // namespace zarelin
