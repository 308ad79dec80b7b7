// A stand-in for a broken SMB server (the program zarelin-standin, tests/smb/standin.cpp)
// on a loopback port, started for a test and stopped with it:
//
//   StandIn silent({"silent"});             takes connections, never answers
//   StandIn slow({"slow", "1200", port});   the real server on `port`, each chunk either
//                                           way 1.2 s late
//   StandIn drop({"drop"});                 connections never complete
//
// Its address is 127.0.0.1:port(). The program is also killed when the thread that made
// the StandIn ends, so that a test program that crashes leaves none behind: make it on a
// thread that outlives it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace testhost {

// 127.0.0.1:`port`, where the stand-ins listen and what their clients connect to.
inline sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class StandIn {
  public:
    // Starts `zarelin-standin ARGUMENTS...` and waits for the port it prints. Throws
    // std::runtime_error when it cannot start or prints no port within 5 s.
    explicit StandIn(const std::vector<std::string>& arguments);
    ~StandIn(); // kills it by its PID and reaps it
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    int port() const { return port_; } // on 127.0.0.1
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

} // namespace testhost
