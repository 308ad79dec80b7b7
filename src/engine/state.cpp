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

namespace {

// Records to add to a full array of `capacity` records.
int32_t GrowthFor(int32_t capacity) {
    return capacity / 2 > CandidateGrowth ? capacity / 2 : CandidateGrowth;
}

} // namespace

bool CompletionState::GrowCandidates(int32_t growth) {
    // A count or byte size past its type's range: no address space holds such a list.
    int64_t records = static_cast<int64_t>(CandidateCapacity) + growth;
    if (records > INT32_MAX || static_cast<uint64_t>(records) > SIZE_MAX / sizeof(Candidate))
        return false;
    SIZE_T bytes = sizeof(Candidate) * static_cast<SIZE_T>(records);
    // A failed reallocation leaves the old block, and so the list, as it was.
    void* grown = Candidates ? os.LocalReAlloc(Candidates, bytes, LMEM_MOVEABLE)
                             : os.LocalAlloc(LMEM_FIXED, bytes);
    if (!grown) return false;
    Candidates = static_cast<Candidate*>(grown);
    CandidateCapacity = static_cast<int32_t>(records);
    return true;
}

int32_t CompletionState::AddCandidate(const char* name, const char* shortName,
                                      int32_t isDirectory) {
    if (std::strlen(name) >= sizeof Candidate::Name ||
        std::strlen(shortName) >= sizeof Candidate::ShortName)
        return 0;
    if (CandidateCount >= CandidateCapacity) {
        // Where the larger block cannot be had, 10 more records may still be.
        int32_t growth = GrowthFor(CandidateCapacity);
        if (!GrowCandidates(growth) &&
            (growth == CandidateGrowth || !GrowCandidates(CandidateGrowth)))
            return 0;
    }
    Candidate& slot = Candidates[CandidateCount];
    CopyBounded(slot.Name, sizeof slot.Name, name);
    CopyBounded(slot.ShortName, sizeof slot.ShortName, shortName);
    slot.IsDirectory = isDirectory ? 1 : 0;
    ++CandidateCount;
    return 1;
}

void CompletionState::ResetSearch() {
    SetAsideCall();
    // NetPattern says which kind of handle is open, so it is cleared only afterwards.
    if (EnumHandle != EnumNone && EnumHandle != EnumReadWhole && EnumHandle != EnumPending) {
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
