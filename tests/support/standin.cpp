#include "standin.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testhost {

namespace {

constexpr int StartMs = 5000; // a stand-in listens within milliseconds; this is slack

void Reap(pid_t pid) {
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// The first line `fd` gives within `ms`, without its newline; "" when none came.
std::string FirstLine(int fd, int ms) {
    std::string line;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd wait = {fd, POLLIN, 0};
        int ready = left.count() > 0 ? poll(&wait, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) continue;
        char c;
        if (ready <= 0 || read(fd, &c, 1) != 1) return "";
        if (c == '\n') return line;
        line += c;
    }
}

} // namespace

StandIn::StandIn(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {ZARELIN_STANDIN_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(strerror(errno)));
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Only calls safe after fork in a threaded program, until exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        throw std::runtime_error("fork: " + std::string(strerror(errno)));
    }
    std::string line = FirstLine(out[0], StartMs);
    close(out[0]); // it prints nothing more
    char* end = nullptr;
    long port = std::strtol(line.c_str(), &end, 10);
    if (line.empty() || *end || port < 1 || port > 65535) {
        kill(pid_, SIGKILL);
        Reap(pid_);
        throw std::runtime_error(std::string(ZARELIN_STANDIN_PATH) + " " +
                                 (arguments.empty() ? "" : arguments[0]) + ": no port printed (\"" +
                                 line + "\")");
    }
    port_ = static_cast<int>(port);
}

StandIn::~StandIn() {
    kill(pid_, SIGKILL);
    Reap(pid_);
}

} // namespace testhost
