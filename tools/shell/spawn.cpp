#include "spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "codepage.h"
#include "paths.h"
#include "shell.h"

namespace shell {

namespace {

// A line of 1023 characters holds at most this many programs ("a|a|...").
constexpr size_t MaxPrograms = 512;
constexpr int SpawnedSignals[] = {SIGINT,  SIGQUIT, SIGPIPE,  SIGTERM, SIGHUP,  SIGTSTP, SIGTTIN,
                                  SIGTTOU, SIGCHLD, SIGWINCH, SIGALRM, SIGUSR1, SIGUSR2};

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

    const std::vector<int>& All() const { return fds_; }

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
bool Prepare(const Pipeline& pipeline, int terminal, Descriptors& held,
             std::vector<Stage>* stages) {
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
    int previous = terminal; // what the next program reads
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
        stage.streams[1] = toNext[1] >= 0 ? toNext[1] : terminal;
        stage.streams[2] = terminal;
        previous = toNext[0];
    }
    return true;
}

void Say(int fd, const char* text) {
    if (write(fd, text, std::strlen(text)) < 0) return; // nothing more to be done in a child
}

// Signals a program starts with at their defaults, whatever the shell does with them.
void DefaultSignals() {
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    for (int sig : SpawnedSignals)
        sigaction(sig, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// A program, in a child of the job's leader: its streams, then its redirections in the
// order the line gives them, then the program itself. Only calls that are safe between
// fork and exec in a process with threads (the module's).
[[noreturn]] void StartProgram(const Stage& stage, char* const* argv, char* const* envp,
                               const std::vector<int>& held) {
    DefaultSignals();
    for (int fd = 0; fd < 3; ++fd)
        dup2(stage.streams[fd], fd);
    for (int fd : held)
        close(fd);
    for (const StreamAction& action : stage.actions) {
        if (action.path.empty()) {
            dup2(3 - action.fd, action.fd);
            continue;
        }
        const int fd = open(action.path.c_str(), action.flags | O_NOCTTY, 0666);
        if (fd < 0) {
            Say(2, OpenError(errno));
            _exit(1);
        }
        if (fd != action.fd) {
            dup2(fd, action.fd);
            close(fd);
        }
    }
    execve(stage.program.c_str(), argv, envp);
    Say(2, errno == ENOEXEC ? "The program cannot be run here.\n" : OpenError(errno));
    _exit(127);
}

// The job's leader: a session of its own with the pty as its terminal, whose process
// group is the terminal's foreground group, so that ^C reaches every program of the
// line and /dev/tty is the pty. It starts them, waits for them, and ends as the last
// one did, which is what the shell reports.
[[noreturn]] void LeadJob(const std::vector<Stage>& stages, const std::vector<char* const*>& argvs,
                          char* const* envp, int slave, const std::vector<int>& held) {
    DefaultSignals();
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, nullptr); // the programs' to act on, not the leader's
    sigaction(SIGQUIT, &ignore, nullptr);
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    pid_t pids[MaxPrograms]; // no allocation here
    const size_t count = std::min(stages.size(), MaxPrograms);
    for (size_t i = 0; i < count; ++i) {
        pids[i] = fork();
        if (pids[i] == 0) StartProgram(stages[i], argvs[i], envp, held);
        if (pids[i] < 0) {
            Say(slave, "Cannot start the command: no more processes.\n");
            kill(0, SIGKILL); // a pipeline runs whole or not at all
        }
    }
    for (int fd : held)
        close(fd); // the pipes' ends: a reader sees the end once its writer is gone
    int last = 0;
    for (size_t i = 0; i < count; ++i) {
        int status;
        while (waitpid(pids[i], &status, 0) < 0 && errno == EINTR) {
        }
        if (i + 1 == count) last = status;
    }
    if (WIFSIGNALED(last)) {
        struct sigaction standard = {};
        standard.sa_handler = SIG_DFL;
        sigaction(WTERMSIG(last), &standard, nullptr);
        kill(getpid(), WTERMSIG(last));
    }
    _exit(WIFEXITED(last) ? WEXITSTATUS(last) : 128 + WTERMSIG(last));
}

// The programs' environment: the terminal they have is the emulator's, not the one
// the shell runs in.
std::vector<std::string> Environment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
        const std::string text = *variable;
        if (text.compare(0, 5, "TERM=") != 0 && text.compare(0, 6, "LINES=") != 0 &&
            text.compare(0, 8, "COLUMNS=") != 0)
            variables.push_back(text);
    }
    variables.push_back("TERM=xterm-256color");
    return variables;
}

// A new pseudo-terminal of `rows` x `cols`: the master, and the slave's descriptor.
bool OpenTerminal(int rows, int cols, int* master, int* slave) {
    *master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0 ||
        ptsname_r(*master, name, sizeof name) != 0 ||
        (*slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        if (*master >= 0) close(*master);
        return false;
    }
    termios settings;
    if (tcgetattr(*slave, &settings) == 0) {
        settings.c_cc[VSUSP] = _POSIX_VDISABLE; // no job control: ^Z would stop the line for good
        settings.c_iflag |= IUTF8;
        tcsetattr(*slave, TCSANOW, &settings);
    }
    winsize size = {};
    size.ws_row = static_cast<unsigned short>(rows);
    size.ws_col = static_cast<unsigned short>(cols);
    ioctl(*master, TIOCSWINSZ, &size);
    return true;
}

} // namespace

std::string NotRecognized(const std::string& name) {
    return "'" + EscapeControls(name) +
           "' is not recognized as an internal or external command,\n" +
           "operable program or batch file.";
}

size_t TakeUnread(int slave) {
    // The programs are gone: their terminal may change its mode. Without ICANON a read
    // takes a line not yet ended too.
    termios settings;
    if (tcgetattr(slave, &settings) == 0) {
        settings.c_lflag &= ~static_cast<tcflag_t>(ICANON);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        tcsetattr(slave, TCSANOW, &settings);
    }
    size_t unread = 0;
    char chunk[4096];
    for (ssize_t n; (n = read(slave, chunk, sizeof chunk)) > 0;)
        unread += static_cast<size_t>(n);
    return unread;
}

bool StartJob(const Pipeline& pipeline, int rows, int cols, Job* job) {
    int master, slave;
    if (!OpenTerminal(rows, cols, &master, &slave)) {
        AddOutput(std::string("Cannot start the command: no terminal: ") + std::strerror(errno));
        return false;
    }
    std::vector<Stage> stages;
    std::vector<int> held;
    {
        Descriptors pipes; // the shell's copies, closed once the leader has its own
        if (!Prepare(pipeline, slave, pipes, &stages)) {
            close(master);
            close(slave);
            return false;
        }
        held = pipes.All();
        held.push_back(slave);
        // Everything the children use is made before the fork: they may not allocate.
        std::vector<std::string> environment = Environment();
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(&variable[0]);
        envp.push_back(nullptr);
        std::vector<std::vector<char*>> argvs(stages.size());
        std::vector<char* const*> argvPointers;
        for (size_t i = 0; i < stages.size(); ++i) {
            for (std::string& argument : stages[i].argv)
                argvs[i].push_back(&argument[0]);
            argvs[i].push_back(nullptr);
            argvPointers.push_back(argvs[i].data());
        }
        job->leader = fork();
        if (job->leader == 0) LeadJob(stages, argvPointers, envp.data(), slave, held);
    }
    if (job->leader < 0) {
        AddOutput(std::string("Cannot start the command: ") + std::strerror(errno));
        close(master);
        close(slave);
        return false;
    }
    job->master = master;
    job->slave = slave;
    return true;
}

} // namespace shell
