// SPDX-License-Identifier: GPL-3.0-or-later
// A serial line reached over TCP: raw (tcp://) or Telnet with the COM-PORT-OPTION
// (rfc2217://), see network_url.h. SerialPort opens one for a URL and hands it its reads
// and writes, so the layers above see a serial port like any other.
//
// Opening never waits longer than OpenTimeoutMs in all (name lookup, connect and, for
// rfc2217://, the server's first Telnet answer), and while it waits it calls the caller's
// wait hook every WaitSliceMs, so a window can keep dispatching its events. The name
// lookup runs on a helper thread, as the resolver offers no call that can be bounded.
//
// Reads return only the line's data bytes: no Telnet byte ever reaches the caller. A
// connection that the server closes or resets, or whose far end stops answering the
// connection's keepalive probes, is a lost line (lost()), as a pulled adapter is; reads
// and writes return 0 from then on.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "link/network_url.h"
#include "link/system_calls.h"
#include "link/telnet_session.h"

namespace kelvandor {

// Why opening a network line failed.
enum class NetworkFailure {
    None,
    BadAddress,   // the URL is malformed
    UnknownHost,  // the name does not resolve
    Refused,      // nothing listens there (connection refused)
    NoAnswer,     // no answer within OpenTimeoutMs
    Closed,       // the server accepted, then closed the connection at once
    NotTelnet,    // an rfc2217:// server that never said a Telnet word
    Failed,       // any other failure of the system's calls
};

class NetworkLine {
  public:
    static constexpr int OpenTimeoutMs = 3000;
    // How long a Telnet server may leave COM-PORT-OPTION unanswered before it is taken
    // as refused (a plain Telnet server says nothing to it).
    static constexpr int ComPortAnswerMs = 1000;
    static constexpr int WaitSliceMs = 10;

    explicit NetworkLine(SystemCalls& calls) : sys_(calls) {}
    ~NetworkLine();
    NetworkLine(const NetworkLine&) = delete;
    NetworkLine& operator=(const NetworkLine&) = delete;

    // Connects to `url`, asking an rfc2217:// server for `baud` 8N1. `whileWaiting`, when
    // set, is called between waits. True when connected; false with failure() set and
    // nothing left open.
    bool open(const std::string& url, int baud, const std::function<void()>& whileWaiting);
    // Makes an open() in progress give up at its next wait (called from the wait hook).
    void abort() { aborted_ = true; }
    void close();

    int fd() const { return fd_; }
    bool lost() const { return lost_; }
    NetworkFailure failure() const { return failure_; }
    // For rfc2217://: what became of COM-PORT-OPTION. Nothing for tcp://.
    std::optional<ComPortState> comPort() const;
    const TelnetSession& telnet() const { return telnet_; }

    // Up to `maxCount` data bytes, waiting at most `timeoutMs` for some to arrive; 0 when
    // none came (Telnet bytes alone count as none) or the line is lost.
    int read(char* buffer, int maxCount, int timeoutMs);
    // True when all `length` bytes were handed to the connection within `giveUpMs`.
    bool write(const char* bytes, int length, int giveUpMs);
    // Discards the data received and not yet read; asks an rfc2217:// server to purge
    // its line too. False when the line is closed or lost.
    bool purge();

  private:
    bool fail(NetworkFailure reason);
    bool connectTo(const NetworkUrl& url, const std::function<void()>& whileWaiting);
    bool negotiate(const std::function<void()>& whileWaiting);
    // Sets up a connected socket: no delay for small writes, and a far end that vanishes
    // without closing the connection is found out (keepalive, user time-out).
    void keepWatch(int fd);
    // Reads what has arrived into the session (or pending_ for raw lines). Returns false
    // when the connection has ended.
    bool receiveAvailable();
    bool sendAll(const std::string& bytes, int giveUpMs);
    int takePending(char* buffer, int maxCount);
    bool expired() const;

    SystemCalls& sys_;
    int fd_ = -1;
    bool rfc2217_ = false;
    bool lost_ = false;
    bool aborted_ = false;
    NetworkFailure failure_ = NetworkFailure::None;
    TelnetSession telnet_;
    std::string pending_;  // data bytes received and not yet read
    long long deadlineMs_ = 0;
};

}  // namespace kelvandor
