// The stand-ins for broken servers are broken as they say: a silent one takes the
// connection and never answers, a dropping one never completes it, a slow one answers
// every request, late both ways. The slow one runs in front of an echo server of this
// test's own, on loopback.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "standin.h"

using namespace testhost;

namespace {

long MsSince(std::chrono::steady_clock::time_point start) {
    auto took = std::chrono::steady_clock::now() - start;
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
}

// An echo server for one connection on a loopback port, for a slow stand-in to front.
class Echo {
  public:
    Echo() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = LoopbackAddress(0);
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~Echo() {
        // Wakes an accept still waiting; the connection ends with the stand-in's.
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

  private:
    void Serve() {
        int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        char chunk[4096];
        for (ssize_t got; (got = read(client, chunk, sizeof chunk)) > 0;)
            if (write(client, chunk, static_cast<size_t>(got)) != got) break;
        close(client);
    }

    int listener_, port_;
    std::thread thread_;
};

// What became of a connection to 127.0.0.1:`port` and a "ping" sent over it.
struct Probe {
    std::string connect; // "connected", "pending" after connectMs, or "refused"
    std::string reply;   // what came back within replyMs; "<closed>" for an end
    long replyMs = 0;    // how long the reply took, from the send
};

Probe Ask(int port, int connectMs, int replyMs) {
    Probe probe;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(port);
    pollfd wait = {fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    int result = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (result != 0 && errno != EINPROGRESS) {
        probe.connect = "refused";
    } else if (result != 0 && poll(&wait, 1, connectMs) != 1) {
        probe.connect = "pending";
    } else {
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        probe.connect = error ? "refused" : "connected";
    }
    if (probe.connect == "connected" && send(fd, "ping", 4, MSG_NOSIGNAL) == 4) {
        auto sent = std::chrono::steady_clock::now();
        char chunk[64];
        wait = {fd, POLLIN, 0};
        while (probe.reply.size() < 4 && poll(&wait, 1, replyMs) == 1) {
            ssize_t got = read(fd, chunk, sizeof chunk);
            if (got <= 0) {
                probe.reply = "<closed>";
                break;
            }
            probe.reply.append(chunk, static_cast<size_t>(got));
        }
        probe.replyMs = MsSince(sent);
    }
    close(fd);
    return probe;
}

TEST(StandIns, EachIsBrokenAsItsModeSays) {
    constexpr long Delay = 150;
    Echo echo;
    struct Case {
        std::vector<std::string> arguments;
        std::string connect, reply;
        long atLeastMs; // the reply comes no sooner
    } cases[] = {
        {{"silent"}, "connected", "", 0},
        {{"drop"}, "pending", "", 0},
        // Late on the way there and on the way back.
        {{"slow", std::to_string(Delay), std::to_string(echo.port())},
         "connected",
         "ping",
         2 * Delay},
    };
    for (const Case& c : cases) {
        StandIn standIn(c.arguments);
        Probe probe = Ask(standIn.port(), 500, c.reply.empty() ? 500 : 5000);
        EXPECT_EQ(probe.connect, c.connect) << c.arguments[0];
        EXPECT_EQ(probe.reply, c.reply) << c.arguments[0];
        EXPECT_GE(probe.replyMs, c.atLeastMs) << c.arguments[0];
    }
}

TEST(StandIns, AStandInIsGoneWhenItsObjectIs) {
    int port;
    pid_t pid;
    {
        StandIn standIn({"silent"});
        port = standIn.port();
        pid = standIn.pid();
    }
    EXPECT_NE(kill(pid, 0), 0) << "reaped, so no such process";
    EXPECT_EQ(Ask(port, 500, 0).connect, "refused");
    EXPECT_THROW(StandIn({"loud"}), std::runtime_error);
}

} // namespace
