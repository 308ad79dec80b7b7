// zarelin-standin: servers broken in the ways a network breaks, on loopback, for the
// tests that bound how long a network call may hold the host. Each listens on a free
// port of 127.0.0.1, prints the port on one line once it listens, and runs until it
// is killed.
//
//   zarelin-standin silent                     takes every connection, reads what comes
//                                              and never answers
//   zarelin-standin slow DELAY_MS TARGET_PORT  a proxy in front of 127.0.0.1:TARGET_PORT:
//                                              each chunk read, either way, is passed on
//                                              DELAY_MS after it was read, so every
//                                              request is answered, each late
//   zarelin-standin drop                       a port whose connections never complete:
//                                              its accept queue is full, so the kernel
//                                              drops every later SYN and connect() waits
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "standin.h"

using testhost::LoopbackAddress;

namespace {

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "zarelin-standin: %s\n", why.c_str());
    std::exit(1);
}

[[noreturn]] void Failed(const std::string& what) {
    Die(what + ": " + std::strerror(errno));
}

// A socket listening on a free loopback port, which `port` receives.
int Listen(int backlog, int* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        Failed("cannot listen on 127.0.0.1");
    *port = ntohs(address.sin_port);
    return fd;
}

// The port on standard output, for whoever started this: it listens from now on.
void Announce(int port) {
    std::printf("%d\n", port);
    std::fflush(stdout);
}

// Whether a connection to 127.0.0.1:`port` completes within `ms`: the socket is kept
// open in `fd` when it does, closed when it is still pending. A refused one is fatal.
bool Connects(int port, int ms, int* fd) {
    *fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (*fd < 0) Failed("socket");
    sockaddr_in address = LoopbackAddress(port);
    if (connect(*fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return true;
    if (errno != EINPROGRESS) Failed("connect to 127.0.0.1:" + std::to_string(port));
    pollfd wait = {*fd, POLLOUT, 0};
    if (poll(&wait, 1, ms) == 0) {
        close(*fd);
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(*fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        errno = error;
        Failed("connect to 127.0.0.1:" + std::to_string(port));
    }
    return true;
}

// ---- silent ----------------------------------------------------------------------

[[noreturn]] void Silent() {
    int port;
    std::vector<pollfd> fds = {{Listen(SOMAXCONN, &port), POLLIN, 0}};
    Announce(port);
    char scratch[65536];
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) Failed("poll");
        for (size_t i = fds.size(); i-- > 1;) {
            // Read so that a client never blocks on a full buffer; keep it until it goes.
            if (fds[i].revents && read(fds[i].fd, scratch, sizeof scratch) <= 0) {
                close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<long>(i));
            }
        }
        if (fds[0].revents & POLLIN) {
            int client = accept4(fds[0].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) fds.push_back({client, POLLIN, 0});
        }
    }
}

// ---- slow ------------------------------------------------------------------------

// The two ends of one proxied connection, closed when both directions are done.
struct Link {
    Link(int client, int server) : client(client), server(server) {}
    ~Link() {
        close(client);
        close(server);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    int client, server;
};

// Passes what `from` sends on to `to`, each chunk `delay` after it was read. When one
// side ends, the other is told: end of file for an orderly close, else a reset of both.
void Pump(std::shared_ptr<Link> link, int from, int to, std::chrono::milliseconds delay) {
    char chunk[65536];
    for (;;) {
        ssize_t got = read(from, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) {
            shutdown(to, SHUT_WR);
            return;
        }
        if (got < 0) break;
        std::this_thread::sleep_for(delay);
        ssize_t sent = 0;
        while (sent < got) {
            ssize_t n = send(to, chunk + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            sent += n;
        }
        if (sent < got) break;
    }
    // The other direction's read ends too.
    shutdown(link->client, SHUT_RDWR);
    shutdown(link->server, SHUT_RDWR);
}

[[noreturn]] void Slow(int delayMs, int target) {
    int port;
    int listener = Listen(SOMAXCONN, &port);
    Announce(port);
    for (;;) {
        int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(target);
        if (server < 0 ||
            connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            // The target is gone: the client sees the connection end, as it would there.
            close(client);
            if (server >= 0) close(server);
            continue;
        }
        auto link = std::make_shared<Link>(client, server);
        std::chrono::milliseconds delay(delayMs);
        std::thread(Pump, link, client, server, delay).detach();
        std::thread(Pump, link, server, client, delay).detach();
    }
}

// ---- drop ------------------------------------------------------------------------

[[noreturn]] void Drop() {
    // Connections of its own, never accepted, fill the accept queue; the kernel then
    // drops the SYN of every other connection rather than refusing it, and the client
    // retries for minutes. How many fit depends on the kernel: fill until one does not.
    // The listener and those connections stay open for the life of the process.
    int port;
    Listen(1, &port);
    std::vector<int> own;
    for (int fd; own.size() < 64 && Connects(port, 200, &fd);)
        own.push_back(fd);
    if (own.size() == 64)
        Die("the accept queue of 127.0.0.1:" + std::to_string(port) + " never filled");
    Announce(port);
    for (;;)
        pause();
}

int Number(const char* text, int low, int high, const char* what) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno || !*text || *end || value < low || value > high)
        Die(std::string(what) + " \"" + text + "\" is not between " + std::to_string(low) +
            " and " + std::to_string(high));
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "silent" && argc == 2) Silent();
    if (mode == "drop" && argc == 2) Drop();
    if (mode == "slow" && argc == 4)
        Slow(Number(argv[2], 0, 600000, "DELAY_MS"), Number(argv[3], 1, 65535, "TARGET_PORT"));
    std::fprintf(stderr, "usage: zarelin-standin silent | slow DELAY_MS TARGET_PORT | drop\n");
    return 2;
}
