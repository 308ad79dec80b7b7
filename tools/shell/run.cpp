#include "run.h"

#include <curses.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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

std::string OpenError(int error) {
    if (error == ENOENT || error == ENOTDIR) return "The system cannot find the path specified.";
    if (error == EACCES || error == EPERM || error == EISDIR || error == EROFS)
        return "Access is denied.";
    return std::strerror(error);
}

std::string NotRecognized(const std::string& name) {
    return "'" + name + "' is not recognized as an internal or external command,\n" +
           "operable program or batch file.";
}

bool Executable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// Whether the program exists, as posix_spawnp would look for it.
bool FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return Executable(name);
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0;;) {
        const size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? colon : colon - start);
        if (Executable((dir.empty() ? std::string(".") : dir) + "/" + name)) return true;
        if (colon == std::string::npos) return false;
        start = colon + 1;
    }
}

// One program of the pipeline, ready to start.
struct Stage {
    std::vector<std::string> argv;
    int streams[3]; // what becomes its standard input, output and error
};

// The arguments and streams of every program; false, having said why, when a program
// cannot be found or a redirection's file cannot be opened.
bool Prepare(const Pipeline& pipeline, int output, Descriptors& held, std::vector<Stage>* stages) {
    const int null = held.Keep(open("/dev/null", O_RDONLY | O_CLOEXEC));
    int previous = null; // what the next program reads
    for (size_t i = 0; i < pipeline.commands.size(); ++i) {
        const Command& command = pipeline.commands[i];
        Stage stage;
        stage.argv.push_back(PosixWord(command.words[0]));
        for (size_t w = 1; w < command.words.size(); ++w)
            for (std::string& argument : ExpandWord(command.words[w]))
                stage.argv.push_back(std::move(argument));
        if (!FindProgram(stage.argv[0])) {
            AddOutputOem(NotRecognized(command.words[0].text));
            return false;
        }
        int toNext[2] = {-1, -1};
        if (i + 1 < pipeline.commands.size()) {
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
        for (const Redirection& r : command.redirections) {
            if (r.kind == Redirection::ToOther) {
                stage.streams[r.fd] = stage.streams[3 - r.fd];
                continue;
            }
            const int flags = r.kind == Redirection::Read     ? O_RDONLY
                              : r.kind == Redirection::Append ? O_WRONLY | O_CREAT | O_APPEND
                                                              : O_WRONLY | O_CREAT | O_TRUNC;
            const int fd = held.Keep(
                open(RedirectionPath(r.target).c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666));
            if (fd < 0) {
                AddOutput(OpenError(errno));
                return false;
            }
            stage.streams[r.fd] = fd;
        }
        previous = toNext[0];
        stages->push_back(stage);
    }
    return true;
}

// Starts one program in a session of its own: no terminal to draw on (the shell owns
// it), and a process group for ^C to reach.
int Spawn(Stage& stage, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_adddup2(&actions, stage.streams[fd], fd);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int sig : SpawnedSignals)
        sigaddset(&defaults, sig);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (std::string& argument : stage.argv)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    const int error = posix_spawnp(pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
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
            if (const int error = Spawn(stage, &pid)) {
                AddOutput(error == ENOENT
                              ? NotRecognized(stage.argv[0])
                              : "Cannot start " + stage.argv[0] + ": " + std::strerror(error));
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
