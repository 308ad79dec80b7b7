#include "engine/state.h"

#include <cstring>

#include "engine/text.h"

namespace zarelin {

CompletionState State;
int32_t IsNT = 0;

void CompletionState::Init() {
    std::memset(this, 0, sizeof *this);
    CurrentDomainOnly = 1;
    std::memset(LastLine, 0xFF, 5); // no real line equals it: the first command starts anew
    NetPattern = NoPattern;
    CurrentIndex = -1;
}

void CompletionState::SpoilLastLine() {
    std::memset(LastLine, 0xFF, 4);
}

int32_t CompletionState::AddCandidate(const char* name, const char* shortName,
                                      int32_t isDirectory) {
    if (std::strlen(name) >= sizeof Candidate::Name ||
        std::strlen(shortName) >= sizeof Candidate::ShortName)
        return 0;
    if (CandidateCount >= CandidateCapacity) {
        SIZE_T bytes = sizeof(Candidate) * static_cast<SIZE_T>(CandidateCapacity + CandidateGrowth);
        // A failed reallocation leaves the old block, and so the list, as it was.
        void* grown = Candidates ? os.LocalReAlloc(Candidates, bytes, LMEM_MOVEABLE)
                                 : os.LocalAlloc(LMEM_FIXED, bytes);
        if (!grown) return 0;
        Candidates = static_cast<Candidate*>(grown);
        CandidateCapacity += CandidateGrowth;
    }
    Candidate& slot = Candidates[CandidateCount];
    CopyBounded(slot.Name, sizeof slot.Name, name);
    CopyBounded(slot.ShortName, sizeof slot.ShortName, shortName);
    slot.IsDirectory = isDirectory ? 1 : 0;
    ++CandidateCount;
    return 1;
}

void CompletionState::ResetSearch() {
    // NetPattern says which kind of handle is open, so it is cleared only afterwards.
    if (EnumHandle != EnumNone && EnumHandle != EnumReadWhole) {
        if (NetPattern != NoPattern)
            os.WNetCloseEnum(EnumHandle);
        else
            os.FindClose(EnumHandle);
    }
    EnumHandle = EnumNone;
    ResetPending = 0;
    std::memcpy(LastLine, Line, sizeof LastLine);
    if (Candidates) os.LocalFree(Candidates);
    Candidates = nullptr;
    CandidateCount = 0;
    CandidateCapacity = 0;
    CurrentIndex = -1;
    NetPattern = NoPattern;
}

} // namespace zarelin
