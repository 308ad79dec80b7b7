// zarelin-shell: a Windows-style console command line in a Linux terminal, with the
// Zarelin module loaded through its entry points as the file manager loads it.
#include <curses.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage.h"
#include "commands.h"
#include "editor.h"
#include "help.h"
#include "history.h"
#include "module.h"
#include "paths.h"
#include "screen.h"
#include "scrollback.h"
#include "shell.h"
#include "stop_signals.h"
#include "zp_files.h"
#include "zp_network.h"

using namespace shell;

namespace {

constexpr size_t FileNameCapacity = 259; // MAX_PATH less the terminator

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "zarelin-shell: %s\n", message.c_str());
    std::exit(2);
}

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string OwnDirectory() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return ".";
    self[n] = 0;
    return Directory(self);
}

// Asks for a line of text in the key-label row; empty when the user pressed Esc.
std::string AskLine(const std::string& question) {
    LineEditor answer(FileNameCapacity);
    size_t scroll = 0;
    const std::string prompt = Utf8ToOem(question);
    for (;;) {
        DrawScreen();
        const int width = screen::Width(), row = std::max(KeyLabelRow(), 0);
        const int room = width - static_cast<int>(prompt.size());
        scroll = ScrollToShow(scroll, answer.cursor(), answer.text().size(), room);
        screen::Fill(0, row, width, ' ', Look::Reverse);
        screen::Put(0, row, prompt, Look::Reverse);
        screen::Put(static_cast<int>(prompt.size()), row,
                    answer.text().substr(scroll, static_cast<size_t>(std::max(room, 0))));
        screen::SetCursor(static_cast<int>(prompt.size() + answer.cursor() - scroll), row);
        screen::Render();
        const screen::Key key = screen::ReadKey();
        if (!key.special) {
            if (key.code == '\r' || key.code == '\n') return answer.text();
            if (key.code == 27) return "";
            if (key.code == 8 || key.code == 127) {
                answer.Backspace();
            } else if (key.code >= 0x20) {
                int oem = UnicodeToOem(static_cast<char32_t>(key.code));
                if (oem < 0 || !answer.Insert(static_cast<char>(oem))) screen::Bell();
            }
            continue;
        }
        switch (key.code) {
        case KEY_ENTER:
            return answer.text();
        case KEY_LEFT:
            answer.Left();
            break;
        case KEY_RIGHT:
            answer.Right();
            break;
        case KEY_HOME:
            answer.Home();
            break;
        case KEY_END:
            answer.End();
            break;
        case KEY_BACKSPACE:
            answer.Backspace();
            break;
        case KEY_DC:
            answer.Delete();
            break;
        default:
            break;
        }
    }
}

// F4: the word under the cursor names the file, or the user is asked for one.
void EditFile() {
    std::string name = WordAt(Shell.line.text(), Shell.line.cursor());
    if (name.empty()) name = AskLine("File to edit: ");
    if (name.empty()) return;
    // The word names the file as every command reads it; a new file needs its folder.
    std::string path;
    if (!NamedPath(name, &path)) {
        Notice("The system cannot find the path specified.", true);
        return;
    }
    std::string error;
    std::unique_ptr<Editor> editor = Editor::Open(path, name, &error);
    if (!editor) {
        Notice(error, true);
        return;
    }
    editor->Run();
}

void TypeCharacter(int code) {
    int oem = UnicodeToOem(static_cast<char32_t>(code));
    if (oem < 0) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
        Notice(std::string(hex) + " has no form in the console code page", true);
        return;
    }
    if (!Shell.line.Insert(static_cast<char>(oem)))
        Refuse("The command line is full: it holds at most 1023 characters");
}

void Complete(int preChosen) {
    CallModule(0, preChosen);
}

void HandleKey(const screen::Key& key) {
    if (ScrollbackKey(key)) return;
    if (!key.special) {
        switch (key.code) {
        case '\t':
            Complete(0);
            break;
        case 0: // Ctrl+Space
            Complete(2);
            break;
        case '\r':
        case '\n': {
            const std::string line = Shell.line.text();
            Shell.line.Clear();
            Shell.scroll = 0;
            ShellHistory().Add(line);
            RunLine(line);
            break;
        }
        case 27: // Esc
        case 3:  // ^C
        case 21: // ^U
            Shell.line.Clear();
            break;
        case 1: // ^A
            Shell.line.Home();
            break;
        case 5: // ^E
            Shell.line.End();
            break;
        case 2: // ^B
            Shell.line.Left();
            break;
        case 6: // ^F
            Shell.line.Right();
            break;
        case 8:
        case 127:
            Shell.line.Backspace();
            break;
        default:
            if (key.code >= 0x20) TypeCharacter(key.code);
            break;
        }
        return;
    }
    switch (key.code) {
    case KEY_LEFT:
        Shell.line.Left();
        break;
    case KEY_RIGHT:
        Shell.line.Right();
        break;
    case KEY_HOME:
        Shell.line.Home();
        break;
    case KEY_END:
        Shell.line.End();
        break;
    case KEY_BACKSPACE:
        Shell.line.Backspace();
        break;
    case KEY_DC:
        Shell.line.Delete();
        break;
    case KEY_UP:
        HistoryOlder();
        break;
    case KEY_DOWN:
        HistoryNewer();
        break;
    case KEY_F(7):
        HistoryMenu();
        break;
    case KEY_F(8):
        HistoryMatching();
        break;
    case KEY_ENTER:
        HandleKey({false, '\r'});
        break;
    case KEY_BTAB:
        Complete(1);
        break;
    case KEY_F(4):
        EditFile();
        break;
    case KEY_F(10):
        Shell.quit = true;
        break;
    case KEY_F(11):
        Complete(-1);
        break;
    default:
        break; // KEY_RESIZE among them: the screen is drawn again anyway
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string modulePath, root = "/";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--module" && hasValue)
            modulePath = argv[++i];
        else if (arg == "--root" && hasValue)
            root = argv[++i];
        else if (arg == "--network" && hasValue)
            setenv("ZARELIN_NETWORK", argv[++i], 1);
        else if (arg == "--help" || arg == "-h") {
            std::fputs(HelpText, stdout);
            return 0;
        } else {
            std::fputs(UsageText, stderr);
            return 2;
        }
    }
    if (modulePath.empty()) modulePath = OwnDirectory() + "/libzarelin.so";
    // The network is read now, not at the first server word, so that a file that is
    // missing or malformed is reported before the screen opens.
    const char* network = getenv("ZARELIN_NETWORK");
    if (network && ZpNetworkLoad(network) != 0)
        Fail(std::string("the network file is unusable: ") + ZpNetworkError());

    // Everything that can go wrong at start goes wrong here, while the terminal is
    // still the user's to read the message on.
    char realRoot[PATH_MAX];
    struct stat info;
    if (!realpath(root.c_str(), realRoot) || stat(realRoot, &info) != 0 || !S_ISDIR(info.st_mode))
        Fail("the drive root " + root + " is not a directory");
    if (!ZpSetDriveRoot('C', realRoot)) Fail("cannot map drive C: to " + std::string(realRoot));

    std::string error;
    if (!LoadModule(modulePath, &error)) Fail(error);
    if (!LoadMessages(Directory(modulePath) + "/zarelin.lng", &error)) Fail(error);
    LoadCodePage();
    // Keys come from standard input and the screen goes to standard output: without a
    // terminal on both there is no session, only a wait that never ends. Checked after
    // the files, whose mistakes are worth reporting from a script too.
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        Fail("standard input and output must be a terminal");

    Shell.cwd = CurrentDirectory();
    if (ToWindows(Shell.cwd).empty()) {
        // Only what a drive holds can be named with a Windows path: start at C:\.
        AddOutput("The current directory " + Shell.cwd + " is outside drive C: (" + realRoot +
                  "); starting at C:\\.");
        if (chdir(realRoot) != 0) Fail("cannot enter " + std::string(realRoot));
        Shell.cwd = CurrentDirectory();
        setenv("PWD", Shell.cwd.c_str(), 1);
    }

    for (const std::string& note : TakeRecoveryNotes())
        AddOutput("An earlier zarelin-shell was stopped: " + note + ".");
    LoadHistory();

    StartModule();
    InstallStopSignals();
    if (!screen::Start()) Fail("cannot use the terminal (is TERM set?)");
    DefineScrollKeys();
    while (!Shell.quit) {
        DrawScreen();
        screen::Render();
        screen::Key key = screen::ReadKey();
        // Keys already waiting (a paste) are taken before the screen is drawn again.
        do {
            Shell.notice.clear();
            Shell.refusedNow = false;
            HandleKey(key);
            Shell.refusedRun = Shell.refusedNow;
        } while (!Shell.quit && screen::ReadKeyWithin(0, &key));
    }
    const std::string historyError = SaveHistory();
    CloseModule();
    screen::Stop();
    if (!historyError.empty())
        std::fprintf(stderr, "zarelin-shell: the history was not kept: %s\n", historyError.c_str());
    return 0;
}
