#include "stop_signals.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "editor.h"
#include "history.h"
#include "run.h"
#include "screen.h"
#include "shell.h"

namespace shell {

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int sig) {
    stopSignal = sig;
}

std::string NotesFile() {
    const std::string dir = StateDirectory();
    return dir.empty() ? "" : dir + "/recovered.txt";
}

bool MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

} // namespace

std::string StateDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    std::string dir;
    if (state && state[0] == '/')
        dir = state;
    else if (home && home[0] == '/')
        dir = std::string(home) + "/.local/state";
    else
        return "";
    dir += "/zarelin";
    return MakeDirectories(dir) ? dir : "";
}

void InstallStopSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a wait for a key returns, and the shell notices
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void HonourStopSignal() {
    const int sig = stopSignal;
    if (!sig) return;
    // The programs run in sessions of their own: the terminal's hangup does not reach them.
    SignalRunning(sig);
    std::string note;
    if (Shell.editor) note = Shell.editor->Recover(strsignal(sig));
    if (!note.empty()) {
        const std::string notes = NotesFile();
        if (!notes.empty()) std::ofstream(notes, std::ios::app) << note << '\n';
    }
    SaveHistory(); // cheap, and the lines run are what a user would retype
    screen::Stop();
    if (!note.empty()) std::fprintf(stderr, "zarelin-shell: %s\n", note.c_str());
    signal(sig, SIG_DFL);
    raise(sig);
    _exit(128 + sig);
}

std::vector<std::string> TakeRecoveryNotes() {
    std::vector<std::string> notes;
    const std::string file = NotesFile();
    if (file.empty()) return notes;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) notes.push_back(line);
    in.close();
    unlink(file.c_str());
    return notes;
}

} // namespace shell
