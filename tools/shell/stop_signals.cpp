#include "stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "codepage.h"
#include "editor.h"
#include "history.h"
#include "run.h"
#include "screen.h"
#include "shell.h"

namespace shell {

namespace {

volatile sig_atomic_t stopSignal = 0;
int wakeRead = -1, wakeWrite = -1; // the self-pipe: the handler's byte ends any poll on it

void OnStopSignal(int sig) {
    const int saved = errno;
    stopSignal = sig;
    // Non-blocking: a pipe already full has woken the waiter anyway.
    if (wakeWrite >= 0) {
        const ssize_t ignored = write(wakeWrite, "", 1);
        (void)ignored;
    }
    errno = saved;
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
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = wake[0];
        wakeWrite = wake[1];
    }
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked call returns, and the next wait comes soon
    sigaction(SIGHUP, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalPending() {
    return stopSignal != 0;
}

int StopSignalDescriptor() {
    return wakeRead;
}

void StopForLostTerminal() {
    if (!stopSignal) stopSignal = SIGHUP;
    HonourStopSignal();
    _exit(128 + SIGHUP); // not reached: the signal was honoured
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
    // Escaped again: the file may come from an older shell that wrote names raw.
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) notes.push_back(EscapeControls(line));
    in.close();
    unlink(file.c_str());
    return notes;
}

} // namespace shell
