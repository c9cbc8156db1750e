// SPDX-License-Identifier: GPL-3.0-or-later
// Serves the simulated unit over raw TCP, as a serial server's raw port serves a real one:
// every byte a client sends goes to the unit's line and every byte the unit sends goes to
// the client, unchanged. One client at a time; a new client replaces the old one, whose
// connection is closed. While a client is connected the listener holds the unit's pty
// open as any client of the pty would; while the unit's line is hung up the client is
// disconnected, as a server whose device has gone disconnects its client.
#pragma once

#include <atomic>
#include <optional>
#include <string>

namespace kelvandor::sim {

class Simulator;

struct ListenAddress {
    std::string host = "127.0.0.1";  // loopback unless a host is given
    std::string port;
};

// "[HOST:]PORT" as --listen takes it (an IPv6 HOST in brackets: "[::]:2000"); nothing
// when malformed.
std::optional<ListenAddress> parseListenAddress(const std::string& text);

class TcpListener {
  public:
    explicit TcpListener(Simulator& unit) : unit_(unit) {}
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Listens on `address`. False with error() set when it cannot.
    bool listen(const ListenAddress& address);
    // The port listened on (the one chosen by the system for port "0").
    int port() const { return port_; }
    // Relays between clients and the unit until `stop` becomes true.
    void run(const std::atomic<bool>& stop);
    const std::string& error() const { return error_; }

  private:
    void acceptClient();
    void dropClient();
    bool openLine();
    // Moves what is waiting from `from` to `to`; false when either side has gone.
    bool relay(int from, int to);

    Simulator& unit_;
    int listenFd_ = -1;
    int client_ = -1;
    int line_ = -1;
    int port_ = 0;
    std::string error_;
};

}  // namespace kelvandor::sim
