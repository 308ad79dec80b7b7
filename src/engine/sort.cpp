// The sort of the candidate list for the list menu. The 274-byte records are not sorted
// themselves: a compact index of the names' first twelve bytes is, and the records then
// move once to their places, each carrying only the bytes it holds. Two names are
// compared in full only when those bytes tie.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"

namespace zarelin {

namespace {

// A byte's place in the order NameLess gives one position of a name: its folded value
// (bit 5 cleared, bytes 0x80-0xFF first), and among the two bytes that fold to 0 the
// name's end before the space. That is 129 places, so a place fits a byte.
constexpr uint8_t Place(uint8_t c) {
    uint32_t u = c ^ 0x80u;                        // signed order as unsigned order
    uint32_t folded = (u >> 6) << 5 | (u & 0x1Fu); // bit 5 dropped: 0..127
    constexpr uint32_t End = 64;                   // where the terminator folds to
    return static_cast<uint8_t>(folded + (folded > End) + (c == ' '));
}

struct PlaceTable {
    uint8_t Of[256];
    constexpr PlaceTable() : Of() {
        for (int c = 0; c < 256; ++c)
            Of[c] = Place(static_cast<uint8_t>(c));
    }
};
constexpr PlaceTable Places;

// One entry of the index: the places of a name's bytes 0-7 and 8-11, most significant
// first and zero after its end, so that comparing keys compares the names wherever they
// differ within those bytes; and the record the name belongs to.
struct SortKey {
    uint64_t Head;
    uint32_t Tail;
    uint32_t Index;
};
static_assert(sizeof(SortKey) == 16, "an index entry is 16 bytes");

SortKey KeyOf(const char* name, uint32_t index) {
    uint64_t head = 0;
    uint32_t tail = 0;
    int i = 0;
    for (bool ended = false; i < 12; ++i) {
        uint32_t place = ended ? 0 : Places.Of[static_cast<uint8_t>(name[i])];
        ended = ended || name[i] == 0;
        if (i < 8)
            head = head << 8 | place;
        else
            tail = tail << 8 | place;
    }
    return {head, tail, index};
}

bool RecordLess(const Candidate& a, const Candidate& b) {
    return NameLess(a.Name, b.Name);
}

// Copies what a record holds: its name up to the terminator, then the short name and
// the directory flag, which end the record. The bytes after a name's end were never
// written (AddCandidate copies names bounded), so a move need not carry them; a record
// is then two or three cache lines to move instead of five.
void MoveRecord(Candidate& to, const Candidate& from) {
    std::memcpy(to.Name, from.Name, strnlen(from.Name, sizeof from.Name - 1) + 1);
    static_assert(offsetof(Candidate, IsDirectory) == offsetof(Candidate, ShortName) + 13,
                  "the short name and the flag end the record");
    std::memcpy(to.ShortName, from.ShortName, sizeof from.ShortName + 1);
}

// Moves record order[i] to place i for every i, one cycle of the permutation at a time,
// with one record aside; a place already filled is marked with its own index.
void Permute(Candidate* records, SortKey* order, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (order[i].Index == i) continue;
        Candidate spare;
        MoveRecord(spare, records[i]);
        uint32_t j = i;
        for (;;) {
            uint32_t from = order[j].Index;
            order[j].Index = j;
            if (from == i) {
                MoveRecord(records[j], spare);
                break;
            }
            MoveRecord(records[j], records[from]);
            j = from;
        }
    }
}

} // namespace

void CompletionState::SortCandidates() {
    if (CandidateCount < 2) return;
    const uint32_t count = static_cast<uint32_t>(CandidateCount);
    auto* index = static_cast<SortKey*>(os.LocalAlloc(LMEM_FIXED, sizeof(SortKey) * count));
    if (!index) {
        // No room for the index: the records are sorted where they lie, more slowly.
        std::sort(Candidates, Candidates + count, RecordLess);
        return;
    }
    for (uint32_t i = 0; i < count; ++i)
        index[i] = KeyOf(Candidates[i].Name, i);
    const Candidate* records = Candidates;
    std::sort(index, index + count, [records](const SortKey& a, const SortKey& b) {
        if (a.Head != b.Head) return a.Head < b.Head;
        if (a.Tail != b.Tail) return a.Tail < b.Tail;
        return NameLess(records[a.Index].Name, records[b.Index].Name);
    });
    Permute(Candidates, index, count);
    os.LocalFree(index);
}

} // namespace zarelin
