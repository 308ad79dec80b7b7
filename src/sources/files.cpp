// File and directory names, fetched lazily: one acceptable entry per call, so stepping
// through a large directory costs one platform call per step in the common case.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"

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

} // namespace

int32_t CompletionState::FetchFileName() {
    if (Mask[0] == 0) return 0; // a word too long to search

    WIN32_FIND_DATAA entry;
    if (EnumHandle == EnumNone) {
        HANDLE search = os.FindFirstFileA(Mask, &entry);
        if (search == INVALID_HANDLE_VALUE) return 0; // nothing open: the next call retries
        EnumHandle = search;
    } else if (EnumHandle == EnumReadWhole || !os.FindNextFileA(EnumHandle, &entry)) {
        return 0; // the handle stays open until the next search closes it
    }

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
        if (!os.FindNextFileA(EnumHandle, &entry)) return 0;
    }
}

} // namespace zarelin
