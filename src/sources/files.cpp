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
    NetCall* fresh = nullptr;
    char target[TargetSize];
    if (EnumHandle == EnumNone) {
        RemoteFiles = RemoteFolder(Mask);
        if (!RemoteFiles) {
            HANDLE search = os.FindFirstFileA(Mask, entry);
            if (search == INVALID_HANDLE_VALUE) return false;
            EnumHandle = search;
            return true;
        }
        FolderTarget(Mask, target);
        fresh = NewCall(CallKind::FindFirst, target);
        if (!fresh) return false;
        CopyBounded(fresh->Text, sizeof fresh->Text, Mask);
    } else if (!RemoteFiles) {
        return os.FindNextFileA(EnumHandle, entry) != 0;
    } else if (EnumHandle != EnumPending) {
        FolderTarget(Mask, target);
        fresh = NewCall(CallKind::FindNext, target);
        if (!fresh) return false;
        fresh->Handle = EnumHandle; // the call's while it runs
    }
    NetCall* call = Await(fresh);
    if (!call) return false;
    bool found = call->Found;
    if (found || call->Kind == CallKind::FindNext) EnumHandle = call->Handle;
    if (found) *entry = call->Entry;
    EndCall(call);
    return found;
}

} // namespace zarelin
