// The three completion commands: next, previous, and the list of all matches.
#include <cstring>

#include "engine/state.h"
#include "engine/text.h"
#include "host/host.h"

namespace zarelin {

namespace {

// Enter chooses an item of the list menu.
const int32_t BreakKeys[2] = {0x0011000D, 0};

constexpr size_t MenuTextLength = 126; // leaves room for a backslash and the terminator

} // namespace

void Beep() {
    os.MessageBeep(0xFFFFFFFF);
}

bool CompletionState::RefreshLine() {
    ArmDeadline();
    if (!GetLine()) return false;
    int32_t length = static_cast<int32_t>(std::strlen(Line));
    int32_t cursor = FindCursor();
    CursorPos = cursor < 0 ? length : cursor;
    // The user is still completing the same word when nothing has changed since the
    // last insertion and the cursor stands where the host left it; or when the last
    // command ended waiting on the network with nothing inserted, and the line is as it
    // left it: the call goes on.
    bool continues = ResetPending == 0 && std::strcmp(LastLine, Line) == 0 && CursorPos == length &&
                     (Waiting() || std::strcmp(LastPrompt, CurrentPrompt) == 0);
    if (!continues) StartSearch();
    return true;
}

void CompletionState::CompleteNext() {
    if (!RefreshLine()) return Beep();
    if (CurrentIndex < CandidateCount - 1 || FetchCandidate()) {
        ++CurrentIndex;
        if (!InsertCandidate()) Beep();
        return;
    }
    Beep(); // CurrentIndex stays on the last candidate, so previous still works
}

void CompletionState::CompletePrevious() {
    if (!RefreshLine()) return Beep();
    if (CurrentIndex > 0) {
        --CurrentIndex;
        if (!InsertCandidate()) Beep();
        return;
    }
    Beep();
}

void CompletionState::CompleteFromList() {
    // The list always starts a new search, unless the last command left one waiting on
    // the network that has inserted nothing: that one gathers on.
    if (!Waiting()) SpoilLastLine();
    if (!RefreshLine()) return Beep();
    while (FetchCandidate()) {
    }
    if (CandidateCount == 0) return Beep();

    if (CandidateCount == 1 && !SingleEntriesInMenu) {
        CurrentIndex = 0;
        if (!InsertCandidate()) Beep();
        SpoilLastLine();
        return;
    }

    SortCandidates(); // the sorted order stays in the list

    SIZE_T bytes = sizeof(MenuItem) * static_cast<SIZE_T>(CandidateCount);
    auto* items = static_cast<MenuItem*>(os.LocalAlloc(LMEM_ZEROINIT, bytes));
    if (!items) {
        // No menu to show: the line stays as it is, and the beep says nothing happened.
        SpoilLastLine();
        return Beep();
    }
    for (int32_t i = 0; i < CandidateCount; ++i) {
        const Candidate& c = Candidates[i];
        const char* text = ShortFileNames && c.ShortName[0] ? c.ShortName : c.Name;
        CopyBounded(items[i].Text, sizeof items[i].Text, text, MenuTextLength);
        if (c.IsDirectory) AppendBounded(items[i].Text, sizeof items[i].Text, "\\");
    }
    int32_t chosen = Host.HostMenu(0, -1, -1, 0, 1, "Filenames", nullptr, nullptr, BreakKeys,
                                   nullptr, items, CandidateCount);
    if (chosen >= 0 && chosen < CandidateCount) {
        CurrentIndex = chosen;
        if (!InsertCandidate()) Beep();
    }
    os.LocalFree(items);
    SpoilLastLine();
}

} // namespace zarelin
