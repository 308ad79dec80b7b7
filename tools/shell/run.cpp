#include "run.h"

#include <curses.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "codepage.h"
#include "paths.h"
#include "screen.h"
#include "shell.h"
#include "stop_signals.h"

namespace shell {

namespace {

constexpr size_t ChunkSize = 64 << 10;  // read at most this much between two looks at the keys
constexpr long FrameMilliseconds = 40;  // the screen is drawn at most this often while output flows
constexpr long DrainMilliseconds = 200; // output still on its way after the last program ended
constexpr int SpawnedSignals[] = {SIGINT,  SIGQUIT, SIGPIPE,  SIGTERM, SIGHUP,  SIGTSTP, SIGTTIN,
                                  SIGTTOU, SIGCHLD, SIGWINCH, SIGALRM, SIGUSR1, SIGUSR2};

std::vector<pid_t> running; // the process groups of the pipeline now running

long Milliseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// File descriptors the parent holds while it sets the programs up.
class Descriptors {
  public:
    ~Descriptors() {
        for (int fd : fds_)
            close(fd);
    }
    int Keep(int fd) {
        if (fd >= 0) fds_.push_back(fd);
        return fd;
    }

  private:
    std::vector<int> fds_;
};

// cmd's words for why a file could not be opened; a constant, as a child about to
// start a program may write nothing else.
const char* OpenError(int error) {
    if (error == ENOENT || error == ENOTDIR) return "The system cannot find the path specified.\n";
    if (error == EACCES || error == EPERM || error == EISDIR || error == EROFS)
        return "Access is denied.\n";
    if (error == ENXIO) return "No program reads from that pipe.\n";
    return "The file cannot be opened.\n";
}

std::string NotRecognized(const std::string& name) {
    return "'" + EscapeControls(name) +
           "' is not recognized as an internal or external command,\n" +
           "operable program or batch file.";
}

bool Executable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// The file a program name stands for, as execvp would look for it; empty when none.
std::string FindProgram(const std::string& name) {
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return Executable(name) ? name : "";
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0;;) {
        const size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? colon : colon - start);
        const std::string file = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (Executable(file)) return file;
        if (colon == std::string::npos) return "";
        start = colon + 1;
    }
}

// What a child does to one of its streams before the program starts, in the order the
// line gives them: open a file onto it, or make it a copy of the other stream.
struct StreamAction {
    int fd;
    std::string path; // empty: a copy of stream 3 - fd
    int flags;
};

// One program of the pipeline, ready to start.
struct Stage {
    std::string program; // the file that runs
    std::vector<std::string> argv;
    int streams[3]; // its standard input, output and error before the actions
    std::vector<StreamAction> actions;
};

// The arguments and streams of every program; false, having said why, when a program
// cannot be found. Every program is found before any file is opened, and files are
// opened by the children, so that a line that cannot run changes no file and a FIFO
// waits in a program that ^C reaches, not in the shell.
bool Prepare(const Pipeline& pipeline, int output, Descriptors& held, std::vector<Stage>* stages) {
    for (const Command& command : pipeline.commands) {
        Stage stage;
        // A bare program name is looked for along PATH as typed: a folder "Git" in the
        // current one must not turn "git" into another name.
        const Word& program = command.words[0];
        const bool bare = program.text.find_first_of("\\/:") == std::string::npos;
        stage.argv.push_back(bare ? OemToUtf8(program.text) : Argument(program));
        stage.program = FindProgram(stage.argv[0]);
        if (stage.program.empty()) {
            AddOutput(NotRecognized(OemToUtf8(command.words[0].text)));
            return false;
        }
        for (size_t w = 1; w < command.words.size(); ++w)
            for (std::string& argument : ExpandWord(command.words[w]))
                stage.argv.push_back(std::move(argument));
        for (const Redirection& r : command.redirections) {
            const int flags = r.kind == Redirection::Read     ? O_RDONLY
                              : r.kind == Redirection::Append ? O_WRONLY | O_CREAT | O_APPEND
                                                              : O_WRONLY | O_CREAT | O_TRUNC;
            std::string path;
            if (r.kind != Redirection::ToOther && !RedirectionPath(r.target, &path)) {
                AddOutput("The system cannot find the path specified.");
                return false;
            }
            stage.actions.push_back({r.fd, path, flags});
        }
        stages->push_back(stage);
    }
    const int null = held.Keep(open("/dev/null", O_RDONLY | O_CLOEXEC));
    int previous = null; // what the next program reads
    for (size_t i = 0; i < stages->size(); ++i) {
        Stage& stage = (*stages)[i];
        int toNext[2] = {-1, -1};
        if (i + 1 < stages->size()) {
            if (pipe2(toNext, O_CLOEXEC) != 0) {
                AddOutput(std::string("Cannot start the command: ") + std::strerror(errno));
                return false;
            }
            held.Keep(toNext[0]);
            held.Keep(toNext[1]);
        }
        stage.streams[0] = previous;
        stage.streams[1] = toNext[1] >= 0 ? toNext[1] : output;
        stage.streams[2] = output;
        previous = toNext[0];
    }
    return true;
}

void Say(int fd, const char* text) {
    if (write(fd, text, std::strlen(text)) < 0) return; // nothing more to be done in a child
}

// The child's side of Spawn: only calls that are safe between fork and exec in a
// process with threads (the module's).
[[noreturn]] void StartChild(const Stage& stage, char* const* argv, int report) {
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    for (int sig : SpawnedSignals)
        sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A session of its own: no terminal to draw on (the shell owns it), and a process
    // group for ^C to reach.
    setsid();
    for (int fd = 0; fd < 3; ++fd)
        dup2(stage.streams[fd], fd);
    for (const StreamAction& action : stage.actions) {
        if (action.path.empty()) {
            dup2(3 - action.fd, action.fd);
            continue;
        }
        const int fd = open(action.path.c_str(), action.flags | O_NOCTTY, 0666);
        if (fd < 0) {
            Say(report, OpenError(errno));
            _exit(1);
        }
        if (fd != action.fd) {
            dup2(fd, action.fd);
            close(fd);
        }
    }
    execve(stage.program.c_str(), argv, environ);
    Say(report, errno == ENOEXEC ? "The program cannot be run here.\n" : OpenError(errno));
    _exit(127);
}

// Starts one program; 0 or the errno of a failed fork.
int Spawn(Stage& stage, int report, pid_t* pid) {
    std::vector<char*> argv;
    for (std::string& argument : stage.argv)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    *pid = fork();
    if (*pid < 0) return errno;
    if (*pid == 0) StartChild(stage, argv.data(), report);
    return 0;
}

} // namespace

void SignalRunning(int sig) {
    for (pid_t group : running)
        kill(-group, sig);
}

int RunPipeline(const Pipeline& pipeline, bool* interrupted) {
    *interrupted = false;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        AddOutput(std::string("Cannot start the command: ") + std::strerror(errno));
        return -1;
    }
    std::vector<Stage> stages;
    std::vector<pid_t> pids;
    {
        Descriptors held; // closed once the programs have their copies
        held.Keep(out[1]);
        if (!Prepare(pipeline, out[1], held, &stages)) {
            close(out[0]);
            return -1;
        }
        for (Stage& stage : stages) {
            pid_t pid;
            if (const int error = Spawn(stage, out[1], &pid)) {
                AddOutput("Cannot start " + EscapeControls(stage.argv[0]) + ": " +
                          std::strerror(error));
                break;
            }
            pids.push_back(pid);
            running.push_back(pid);
        }
    }
    if (pids.size() < stages.size()) SignalRunning(SIGKILL); // a pipeline runs whole or not at all

    std::vector<bool> alive(pids.size(), true);
    size_t living = pids.size();
    int status = -1;
    bool outputOpen = true;
    long drainUntil = -1, lastFrame = 0;
    int interrupts = 0;
    std::vector<screen::Key> typedAhead; // keys for the prompt that comes back
    std::vector<char> chunk(ChunkSize);
    for (;;) {
        HonourStopSignal();
        for (size_t i = 0; i < pids.size(); ++i) {
            int waited;
            if (alive[i] && waitpid(pids[i], &waited, WNOHANG) == pids[i]) {
                alive[i] = false;
                --living;
                if (i + 1 == stages.size()) status = waited;
            }
        }
        // Done once the programs have ended and their output is read; a job they left
        // behind may hold the output open for long, and is not waited for.
        if (living == 0 && drainUntil < 0) drainUntil = Milliseconds() + DrainMilliseconds;
        if (living == 0 && (!outputOpen || Milliseconds() >= drainUntil)) break;

        int keyWait = 0;
        if (outputOpen) {
            pollfd watch = {out[0], POLLIN, 0};
            const long wait = living ? 20 : std::max(0L, drainUntil - Milliseconds());
            if (poll(&watch, 1, static_cast<int>(wait)) > 0) {
                const ssize_t n = read(out[0], chunk.data(), chunk.size());
                if (n > 0)
                    AddOutputBytes(chunk.data(), static_cast<size_t>(n));
                else if (n == 0 || errno != EINTR)
                    outputOpen = false;
            }
        } else {
            keyWait = 20; // nothing more to read: wait for the programs or a key
        }
        screen::Key key;
        while (screen::ReadKeyWithin(keyWait, &key)) {
            keyWait = 0;
            if (!key.special && key.code == 3) {
                *interrupted = true;
                SignalRunning(interrupts++ == 0 ? SIGINT : SIGKILL);
                Notice("^C again stops it for good");
            } else if (!key.special || key.code != KEY_RESIZE) {
                typedAhead.push_back(key);
            }
        }
        if (Milliseconds() - lastFrame >= FrameMilliseconds) {
            DrawScreen();
            screen::Render();
            lastFrame = Milliseconds();
        }
    }
    running.clear();
    close(out[0]);
    EndOutputBytes();
    Shell.notice.clear();
    for (const screen::Key& key : typedAhead)
        screen::TypeAhead(key);
    return pids.size() == stages.size() ? status : -1;
}

} // namespace shell
