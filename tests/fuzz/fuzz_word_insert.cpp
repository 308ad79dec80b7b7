// The word under the cursor and the insertion of a candidate, over any line, cursor and
// candidate: positions stay inside the line, masks and lines inside their buffers, the
// fields around them untouched, and the rewritten line is the one the rules give.
//
// Input, one field per line:
//   1   the line, any bytes, also longer than the 1023 a buffer holds
//   2   "<cursor> <letters>": the cursor index (none: the end of the line; negative and
//       far beyond the end are allowed), then options and commands:
//         s short names   n NT family   m single entries in menu   w whole network
//         h hidden shares   N next   P previous   L list (the k-th L picks item k-1)
//         X list, cancelled   E switch between command line and editor   T toggle s
//         W toggle w   H toggle h (options change in the middle of a search too)
//   3.. candidates "name<TAB>short name<TAB>D", the last two optional (D: a directory);
//       they are also the file listing the commands see
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/state.h"
#include "engine/text.h"
#include "fuzz_support.h"
#include "host/host.h"
#include "sources/network.h"
#include "unit/fake_host.h"
#include "zp_network.h"

using namespace zarelin;
using fuzz::ExactText;

namespace {

constexpr int32_t LineLimit = LineBufferSize - 1;

struct Input {
    std::string line;
    bool cursorAtEnd = true;
    long cursor = 0;
    std::string letters;
    std::vector<fakehost::Entry> candidates;
};

Input Parse(const uint8_t* data, size_t size) {
    std::vector<std::string> lines = fuzz::SplitLines(data, size);
    Input in;
    if (!lines.empty()) in.line = lines[0];
    if (lines.size() > 1) {
        size_t used = 0;
        in.cursor = fuzz::Number(lines[1], 0, -100000, 100000, &used);
        in.cursorAtEnd = used == 0;
        in.letters = lines[1].substr(used);
    }
    for (size_t i = 2; i < lines.size() && in.candidates.size() < 40; ++i) {
        std::vector<std::string> f = fuzz::SplitFields(lines[i], '\t');
        in.candidates.push_back({f[0], f.size() > 1 ? f[1] : "", f.size() > 2 && !f[2].empty()});
    }
    if (in.candidates.empty()) in.candidates.push_back({"Program Files", "PROGRA~1", true});
    return in;
}

bool Has(const Input& in, char letter) {
    return in.letters.find(letter) != std::string::npos;
}

// ----------------------------------------------------------------------------------
// The rules, written out a second time from their description, to compare with.

struct WordModel {
    int32_t wordStart, wordEnd, nameStart;
    std::string mask;    // up to its terminator; empty when the word cannot be searched
    int32_t netPattern;  // NoPattern, ServerPattern or the share pattern's index
    std::string pattern; // the text at netPattern
};

WordModel ModelWord(const std::string& line, long cursorPos, bool nt) {
    const int32_t length = static_cast<int32_t>(line.size());
    const int32_t cursor = cursorPos < 0 ? 0 : static_cast<int32_t>(cursorPos);
    WordModel m{};
    bool afterSpace = true, inQuote = false;
    for (int32_t i = 0; i < std::min(cursor, length); ++i) {
        char c = line[i];
        if (c == ' ') {
            afterSpace = true;
        } else if (c == '"') {
            if (!inQuote && afterSpace) m.wordStart = i;
            inQuote = !inQuote;
        } else {
            if (afterSpace && !inQuote) m.wordStart = i;
            afterSpace = false;
        }
    }
    if (cursor > length) {
        if (afterSpace && !inQuote) m.wordStart = length;
        afterSpace = false;
    }
    if (afterSpace) m.wordStart = cursor;

    const bool quoted = m.wordStart < length && line[m.wordStart] == '"';
    const int32_t textStart = m.wordStart + (quoted ? 1 : 0);
    if (quoted) {
        // Inside the opening quote; the word ends at a space outside quotes, before a
        // quote that ends it.
        bool open = true;
        m.wordEnd = textStart;
        for (; m.wordEnd < length && (open || line[m.wordEnd] != ' '); ++m.wordEnd)
            open = open != (line[m.wordEnd] == '"');
        if (m.wordEnd > textStart && line[m.wordEnd - 1] == '"') --m.wordEnd;
    } else {
        size_t end = line.find(' ', textStart);
        m.wordEnd = end == std::string::npos ? length : static_cast<int32_t>(end);
    }

    std::string mask = line.substr(textStart, m.wordEnd - textStart);
    mask.erase(std::remove(mask.begin(), mask.end(), '"'), mask.end());
    if (mask.empty() || mask.back() != '*') mask += '*';
    if (mask.size() > static_cast<size_t>(LineLimit)) mask.clear();

    m.nameStart = textStart;
    for (int32_t i = m.wordStart; i < m.wordEnd; ++i)
        if (line[i] == '\\' || line[i] == '/' || line[i] == ':') m.nameStart = i + 1;

    m.netPattern = NoPattern;
    if (mask.size() >= 2 && mask[0] == mask[1] && (mask[0] == '\\' || mask[0] == '/')) {
        mask[0] = mask[1] = '\\';
        size_t separator = mask.find_first_of("\\/", 2);
        if (separator == std::string::npos) {
            m.netPattern = ServerPattern;
            m.pattern = mask.substr(2);
            if (!nt) m.nameStart = textStart;
        } else if (mask.find_first_of("\\/", separator + 1) == std::string::npos) {
            m.netPattern = static_cast<int32_t>(separator + 1);
            m.pattern = mask.substr(separator + 1);
            mask.resize(separator);
            m.nameStart = textStart;
        }
    }
    m.mask = mask;
    return m;
}

// The line InsertCandidate must produce from `line` and the positions before it.
std::string ModelInsert(const std::string& line, int32_t wordStart, int32_t wordEnd,
                        int32_t nameStart, const std::string& text, bool directory, bool* quoted,
                        size_t* prefixLength) {
    std::string prefix = line.substr(wordStart, nameStart - wordStart);
    prefix.erase(std::remove(prefix.begin(), prefix.end(), '"'), prefix.end());
    *prefixLength = prefix.size();
    std::string word = prefix + text;
    if (directory) word += '\\';
    *quoted = word.find_first_of(" &^") != std::string::npos;
    const size_t rest = static_cast<size_t>(wordEnd) + (line[wordEnd] == '"' ? 1 : 0);
    std::string q = *quoted ? "\"" : "";
    return line.substr(0, wordStart) + q + word + q + line.substr(rest);
}

// ----------------------------------------------------------------------------------
// Checks on the state.

// Marks in the fields around the line buffers that the operation under test must leave
// as they were. ASan guards the ends of the state object; these guard its inside.
struct Canaries {
    int32_t options[4];
    char lastPrompt[PromptBufferSize];
    char currentPrompt[PromptBufferSize];
    int32_t cursorPos, openFrom;
    uint8_t* netBuffer;
    uint32_t netBufferSize;

    static Canaries Take() {
        Canaries c;
        c.options[0] = State.ShortFileNames;
        c.options[1] = State.ShowHiddenShares;
        c.options[2] = State.CurrentDomainOnly;
        c.options[3] = State.SingleEntriesInMenu;
        std::memcpy(c.lastPrompt, State.LastPrompt, sizeof c.lastPrompt);
        std::memcpy(c.currentPrompt, State.CurrentPrompt, sizeof c.currentPrompt);
        c.cursorPos = State.CursorPos;
        c.openFrom = State.OpenFrom;
        c.netBuffer = State.NetBuffer;
        c.netBufferSize = State.NetBufferSize;
        return c;
    }

    void Check(bool lastPromptToo) const {
        FUZZ_CHECK(options[0] == State.ShortFileNames && options[1] == State.ShowHiddenShares &&
                   options[2] == State.CurrentDomainOnly &&
                   options[3] == State.SingleEntriesInMenu);
        if (lastPromptToo)
            FUZZ_CHECK(std::memcmp(lastPrompt, State.LastPrompt, sizeof lastPrompt) == 0);
        FUZZ_CHECK(std::memcmp(currentPrompt, State.CurrentPrompt, sizeof currentPrompt) == 0);
        FUZZ_CHECK(cursorPos == State.CursorPos && openFrom == State.OpenFrom);
        FUZZ_CHECK(netBuffer == State.NetBuffer && netBufferSize == State.NetBufferSize);
    }
};

void FillPrompts() {
    std::memset(State.LastPrompt, 'L', sizeof State.LastPrompt - 1);
    State.LastPrompt[sizeof State.LastPrompt - 1] = 0;
    std::memset(State.CurrentPrompt, 'C', sizeof State.CurrentPrompt - 1);
    State.CurrentPrompt[sizeof State.CurrentPrompt - 1] = 0;
}

// What holds for the positions of any search, whatever the line.
void CheckPositions() {
    const int32_t length = static_cast<int32_t>(strnlen(State.Line, sizeof State.Line));
    FUZZ_CHECK(length <= LineLimit);
    FUZZ_CHECK(0 <= State.WordStart && State.WordStart <= State.WordEnd && State.WordEnd <= length);
    // The word's text starts after an opening quote; a name inserted unquoted may begin
    // with a quote of its own, and then starts at WordStart.
    const bool quoted = State.Line[State.WordStart] == '"' && State.NameStart > State.WordStart;
    const int32_t textStart = State.WordStart + (quoted ? 1 : 0);
    FUZZ_CHECK(textStart <= State.NameStart && State.NameStart <= State.WordEnd);
    FUZZ_CHECK(std::memchr(State.Mask, 0, sizeof State.Mask) != nullptr);
    if (State.NetPattern != NoPattern) {
        FUZZ_CHECK(State.NetPattern >= ServerPattern && State.NetPattern < LineBufferSize);
        FUZZ_CHECK(std::memchr(State.Mask + State.NetPattern, 0,
                               sizeof State.Mask - State.NetPattern) != nullptr);
    }
    FUZZ_CHECK(0 <= State.CandidateCount && State.CandidateCount <= State.CandidateCapacity);
    FUZZ_CHECK(-1 <= State.CurrentIndex && State.CurrentIndex < State.CandidateCount);
}

void CheckStartSearch(long cursor, bool nt) {
    const std::string line = State.Line;
    const WordModel m = ModelWord(line, cursor, nt);
    CheckPositions();
    FUZZ_CHECK(State.WordStart == m.wordStart);
    FUZZ_CHECK(State.WordEnd == m.wordEnd);
    FUZZ_CHECK(State.NameStart == m.nameStart);
    FUZZ_CHECK(State.NetPattern == m.netPattern);
    FUZZ_CHECK(m.mask == State.Mask);
    if (m.netPattern != NoPattern) FUZZ_CHECK(m.pattern == State.Mask + State.NetPattern);
    FUZZ_CHECK(std::strcmp(State.LastLine, State.Line) == 0);
    FUZZ_CHECK(State.CandidateCount == 0 && State.CurrentIndex == -1);
}

const char* InsertedText(const Candidate& c) {
    return State.ShortFileNames && c.ShortName[0] ? c.ShortName : c.Name;
}

// Inserts the candidate at CurrentIndex and compares the result with the rules; true
// when it was inserted.
bool CheckInsert() {
    const Candidate& c = State.Candidates[State.CurrentIndex];
    const std::string text = InsertedText(c);
    const std::string before = State.Line;
    const int32_t wordStart = State.WordStart, wordEnd = State.WordEnd;
    bool quoted = false;
    size_t prefixLength = 0;
    const std::string expected = ModelInsert(before, wordStart, wordEnd, State.NameStart, text,
                                             c.IsDirectory != 0, &quoted, &prefixLength);
    char mask[LineBufferSize];
    std::memcpy(mask, State.Mask, sizeof mask);
    const Canaries canaries = Canaries::Take();

    const bool inserted = State.InsertCandidate();

    canaries.Check(false);
    FUZZ_CHECK(std::memcmp(mask, State.Mask, sizeof mask) == 0);
    FUZZ_CHECK(std::memcmp(State.LastPrompt, State.CurrentPrompt, sizeof State.LastPrompt) == 0);
    FUZZ_CHECK(State.WordStart == wordStart);
    if (expected.size() > static_cast<size_t>(LineLimit)) {
        // Too long for the buffer: refused, and the user's line stays as it was.
        FUZZ_CHECK(!inserted);
        FUZZ_CHECK(before == State.Line);
        FUZZ_CHECK(State.WordEnd == wordEnd);
        return false;
    }
    FUZZ_CHECK(inserted);
    FUZZ_CHECK(expected == State.Line);
    FUZZ_CHECK(std::strcmp(State.LastLine, State.Line) == 0);
    const int32_t q = quoted ? 1 : 0;
    FUZZ_CHECK(State.NameStart == wordStart + q + static_cast<int32_t>(prefixLength));
    FUZZ_CHECK(State.WordEnd ==
               State.NameStart + static_cast<int32_t>(text.size()) + c.IsDirectory + q);
    FUZZ_CHECK(std::strncmp(State.Line + State.NameStart, text.c_str(), text.size()) == 0);
    // What followed the word, its closing quote aside, follows the new word unchanged.
    const size_t rest = static_cast<size_t>(wordEnd) + (before[wordEnd] == '"' ? 1 : 0);
    FUZZ_CHECK(before.compare(rest, std::string::npos, State.Line + State.WordEnd) == 0);
    CheckPositions();
    return true;
}

// ----------------------------------------------------------------------------------
// Part one: StartSearch, AddCandidate and InsertCandidate called directly, each
// candidate in turn, as next completion steps through them.

// The hosts' line as the module last handed it over.
std::string handedOver;

int32_t WINAPI RecordingControl(void*, int32_t command, void* param) {
    char* buffer = static_cast<char*>(param);
    if (command == HostSetCommandLine) {
        FUZZ_CHECK(strnlen(buffer, LineBufferSize) <= static_cast<size_t>(LineLimit));
        handedOver = buffer;
    }
    return 1;
}

// The capacity after `count` candidates were added one by one: each growth adds half the
// capacity, 10 records at least.
int32_t CapacityFor(int32_t count) {
    int32_t capacity = 0;
    while (capacity < count)
        capacity += std::max(10, capacity / 2);
    return capacity;
}

void DirectCalls(const Input& in) {
    State.Init();
    Host = StartupInfo{};
    Host.HostControl = RecordingControl;
    IsNT = Has(in, 'n') ? 1 : 0;
    State.ShortFileNames = Has(in, 's') ? 1 : 0;

    // The caller's side of the buffer contract: at most 1023 characters reach Line.
    std::memset(State.Line, 0, sizeof State.Line);
    std::memcpy(State.Line, in.line.data(), std::min<size_t>(in.line.size(), LineLimit));
    const long cursor = in.cursorAtEnd ? static_cast<long>(std::strlen(State.Line)) : in.cursor;
    State.CursorPos = static_cast<int32_t>(cursor);
    FillPrompts();

    Canaries canaries = Canaries::Take();
    State.StartSearch();
    canaries.Check(true);
    CheckStartSearch(cursor, IsNT != 0);

    std::vector<std::unique_ptr<ExactText>> texts;
    for (const fakehost::Entry& e : in.candidates) {
        texts.push_back(std::make_unique<ExactText>(e.name));
        texts.push_back(std::make_unique<ExactText>(e.shortName));
        const char* name = texts[texts.size() - 2]->get();
        const char* shortName = texts.back()->get();
        const int32_t count = State.CandidateCount;
        const bool fits = std::strlen(name) < sizeof Candidate::Name &&
                          std::strlen(shortName) < sizeof Candidate::ShortName;
        FUZZ_CHECK(State.AddCandidate(name, shortName, e.directory) == (fits ? 1 : 0));
        if (!fits) {
            FUZZ_CHECK(State.CandidateCount == count);
            continue;
        }
        const Candidate& added = State.Candidates[count];
        FUZZ_CHECK(State.CandidateCount == count + 1);
        FUZZ_CHECK(std::strcmp(added.Name, name) == 0 &&
                   std::strcmp(added.ShortName, shortName) == 0);
        FUZZ_CHECK(added.IsDirectory == (e.directory ? 1 : 0));
        FUZZ_CHECK(State.CandidateCapacity == CapacityFor(State.CandidateCount));
    }
    // The list menu's ordering: never past a terminator, and antisymmetric.
    for (size_t i = 0; i + 2 < texts.size(); i += 2) {
        int32_t ab = CompareNames(texts[i]->get(), texts[i + 2]->get());
        int32_t ba = CompareNames(texts[i + 2]->get(), texts[i]->get());
        FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0));
    }

    for (int32_t i = 0; i < State.CandidateCount; ++i) {
        State.CurrentIndex = i;
        handedOver.clear();
        const bool inserted = CheckInsert();
        FUZZ_CHECK(handedOver == (inserted ? State.Line : ""));
    }
    State.ResetSearch();
}

// ----------------------------------------------------------------------------------
// Part two: the commands, through a host whose command line and editor hold the line
// and whose file search lists the candidates.

struct Screen {
    bool editor = false;
    std::string commandLine;
    std::string editorLine;
    long editorCursor = 0;
    bool lineTooLong = false; // the last line handed to the module did not fit
    int listAnswer = 0;       // what the next list menu picks
};
Screen screen;

// The inserted text stands in the line the module hands over.
void CheckHandedOver(const char* line) {
    FUZZ_CHECK(strnlen(line, LineBufferSize) <= static_cast<size_t>(LineLimit));
    FUZZ_CHECK(line == State.Line);
    FUZZ_CHECK(State.CurrentIndex >= 0 && State.CurrentIndex < State.CandidateCount);
    CheckPositions();
    const char* text = InsertedText(State.Candidates[State.CurrentIndex]);
    FUZZ_CHECK(std::strncmp(line + State.NameStart, text, std::strlen(text)) == 0);
}

int32_t WINAPI CommandLine(void*, int32_t command, void* param) {
    char* buffer = static_cast<char*>(param);
    if (command == HostGetCommandLine) {
        // The host's side of the contract: a longer command line reaches the module cut.
        std::memset(buffer, 0, LineBufferSize);
        std::memcpy(buffer, screen.commandLine.data(),
                    std::min<size_t>(screen.commandLine.size(), LineLimit));
        screen.lineTooLong = false;
    } else if (command == HostSetCommandLine) {
        CheckHandedOver(buffer);
        screen.commandLine = buffer;
    }
    return 1;
}

std::unique_ptr<ExactText> editorText; // what the last EditorGetLine handed out

int32_t WINAPI Editor(int32_t command, void* record) {
    switch (command) {
    case EditorGetLine: {
        auto* line = static_cast<EditorLineRecord*>(record);
        editorText = std::make_unique<ExactText>(screen.editorLine);
        line->Text = editorText->get();
        screen.lineTooLong = std::strlen(line->Text) > static_cast<size_t>(LineLimit);
        break;
    }
    case EditorGetInfo:
        static_cast<EditorInfoRecord*>(record)->CursorPos =
            static_cast<int32_t>(screen.editorCursor);
        break;
    case EditorSetLine: {
        auto* line = static_cast<EditorLineWriteRecord*>(record);
        CheckHandedOver(line->Text);
        FUZZ_CHECK(line->Length == static_cast<int32_t>(std::strlen(line->Text)));
        screen.editorLine = line->Text;
        break;
    }
    case EditorSetPosition: {
        auto* position = static_cast<EditorPositionRecord*>(record);
        FUZZ_CHECK(position->Position == State.WordEnd);
        FUZZ_CHECK(position->Position >= 0 &&
                   static_cast<size_t>(position->Position) <= screen.editorLine.size());
        screen.editorCursor = position->Position;
        break;
    }
    default:
        break;
    }
    return 1;
}

int32_t WINAPI ListMenu(int32_t, int32_t, int32_t, int32_t, uint32_t, const char* title,
                        const char*, const char*, const int32_t*, int32_t*, const MenuItem* items,
                        int32_t count) {
    FUZZ_CHECK(std::strcmp(title, "Filenames") == 0);
    FUZZ_CHECK(count == State.CandidateCount);
    for (int32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(strnlen(items[i].Text, sizeof items[i].Text) < sizeof items[i].Text);
        if (i > 0)
            FUZZ_CHECK(CompareNames(State.Candidates[i - 1].Name, State.Candidates[i].Name) <= 0);
    }
    return screen.listAnswer;
}

// One network for every input, loaded once, with a domain for the NT family and a
// workgroup for the other, so that server and share words have something to list. The
// listing calls of both families are looked up once: a run only picks a set.
const char* const TheNetwork =
    R"({"platform": "nt", "domain": "CORP",
        "providers": [{"name": "Microsoft Windows Network",
                       "domains": [{"name": "CORP", "servers": ["ALPHA", "alpine", "BETA"]},
                                   {"name": "HOME", "servers": ["ALPHA", "alpine", "BETA"]}]}],
        "servers": {"ALPHA": {"shares": [{"name": "data"}, {"name": "docs", "type": "disk"},
                                         {"name": "laser", "type": "printer"},
                                         {"name": "C$", "type": "special"},
                                         {"name": "IPC$", "type": "ipc"}]},
                    "BETA": {"shares": [{"name": "a b&c"}, {"name": "x$"}]}}})";
NetworkCalls familyCalls[2]; // other, NT

void Commands(const Input& in) {
    fakehost::FakeHostScope scope;
    for (const fakehost::Entry& e : in.candidates)
        fakehost::fake.listing.push_back(e);
    Host.HostControl = CommandLine;
    Host.HostEditor = Editor;
    Host.HostMenu = ListMenu;

    const int family = Has(in, 'n') ? 1 : 0;
    IsNT = family;
    Net = familyCalls[family];
    // What the registry answers on the other family; the NT family has none.
    CopyBounded(Workgroup, sizeof Workgroup, family ? "" : "HOME");
    State.ShortFileNames = Has(in, 's') ? 1 : 0;
    State.SingleEntriesInMenu = Has(in, 'm') ? 1 : 0;
    State.CurrentDomainOnly = Has(in, 'w') ? 0 : 1;
    State.ShowHiddenShares = Has(in, 'h') ? 1 : 0;

    screen = Screen{};
    screen.commandLine = in.line;
    screen.editorLine = in.line;
    screen.editorCursor = in.cursorAtEnd ? static_cast<long>(in.line.size()) : in.cursor;
    int lists = 0;
    int commands = 0;
    for (char letter : in.letters) {
        if (++commands > 24) break;
        switch (letter) {
        case 'E':
            screen.editor = !screen.editor;
            // As OpenPlugin notes a change of context.
            State.ResetPending = 1;
            State.OpenFrom = screen.editor ? OpenFromEditor : 0;
            continue;
        case 'T':
            State.ShortFileNames ^= 1;
            continue;
        case 'W':
            State.CurrentDomainOnly ^= 1;
            continue;
        case 'H':
            State.ShowHiddenShares ^= 1;
            continue;
        case 'N':
            State.CompleteNext();
            break;
        case 'P':
            State.CompletePrevious();
            break;
        case 'L':
        case 'X':
            screen.listAnswer = letter == 'X' ? -1 : lists++;
            State.CompleteFromList();
            break;
        default:
            continue;
        }
        if (!screen.lineTooLong) CheckPositions();
        FUZZ_CHECK(std::memchr(State.CurrentPrompt, 0, sizeof State.CurrentPrompt) != nullptr);
    }
    State.ResetSearch();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The other family's svrapi is there only while the network says so.
    FUZZ_CHECK(ZpNetworkLoadText(R"({"platform": "other"})") == 0);
    IsNT = 0;
    LoadNetworkCalls();
    familyCalls[0] = Net;
    FUZZ_CHECK(ZpNetworkLoadText(TheNetwork) == 0);
    IsNT = 1;
    LoadNetworkCalls();
    familyCalls[1] = Net;
    FUZZ_CHECK(familyCalls[0].NetShareEnumOther && familyCalls[1].NetShareEnumNt);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input in = Parse(data, size);
    DirectCalls(in);
    Commands(in);
    // What a search keeps between commands, let go as ClosePlugin does.
    State.ResetSearch();
    if (State.NetBuffer) LocalFree(State.NetBuffer);
    State.NetBuffer = nullptr;
    State.NetBufferSize = 0;
    Host = StartupInfo{};
    // Nothing allocated in this run outlives it: libFuzzer looks for a leak (a slow
    // rerun) after every run whose allocations and frees do not pair up.
    handedOver = std::string();
    screen = Screen{};
    editorText.reset();
    fakehost::fake = fakehost::Fake{};
    return 0;
}
