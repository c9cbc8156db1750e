// SPDX-License-Identifier: GPL-3.0-or-later
// A serial line reached over TCP: raw (tcp://) or Telnet with the COM-PORT-OPTION
// (rfc2217://), see network_url.h. SerialPort opens one for a URL and hands it its reads
// and writes, so the layers above see a serial port like any other.
//
// Opening is a small state machine (name lookup, connect, for rfc2217:// the server's
// first Telnet answer) that never takes longer than OpenTimeoutMs in all. start() sets it
// going and advance() moves it on, each waiting no longer than it is told (0: not at all),
// so a window can drive an open from a timer and keep taking the user's input. open() is
// the same machine run to its end, calling the caller's wait hook every WaitSliceMs.
// The name lookup runs on a helper thread, as the resolver offers no call that can be
// bounded; a numeric address needs none. When a name stands for several addresses, one
// that does not answer gets its share of the time left and the next is tried.
//
// Reads return only the line's data bytes: no Telnet byte ever reaches the caller. A
// connection that the server closes or resets, or whose far end stops answering the
// connection's keepalive probes, is a lost line (lost()), as a pulled adapter is; reads
// and writes return 0 from then on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    // The most data bytes held unread. A peer that streams faster than they are read
    // (before the open has ended, or into a purge) loses the oldest beyond this; the
    // socket's own buffer and TCP's flow control hold back the rest.
    static constexpr std::size_t MaxPendingBytes = 4096;

    enum class Progress { Pending, Done };

    explicit NetworkLine(SystemCalls& calls) : sys_(calls) {}
    ~NetworkLine();
    NetworkLine(const NetworkLine&) = delete;
    NetworkLine& operator=(const NetworkLine&) = delete;

    // Connects to `url`, asking an rfc2217:// server for `baud` 8N1 with DTR and RTS off.
    // `whileWaiting`, when set, is called between waits. True when connected; false with
    // failure() set and nothing left open.
    bool open(const std::string& url, int baud, const std::function<void()>& whileWaiting);
    // Starts an open as open() does, without waiting. Done: connected (fd() >= 0) or
    // failed (failure()); Pending: call advance() until it says Done.
    Progress start(const std::string& url, int baud);
    // Moves an open in progress on, waiting at most `waitMs` for the network (0: returns
    // at once). Done when the open has ended either way, or when none is in progress.
    Progress advance(int waitMs);
    bool opening() const { return stage_ != Stage::Idle; }
    // Makes an open in progress give up at its next step (called from the wait hook).
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
    enum class Stage { Idle, Resolving, Connecting, Negotiating };
    struct Lookup;

    Progress fail(NetworkFailure reason);
    Progress succeed();
    Progress resolve(int waitMs);
    // Connects to addresses_[nextAddress_], or the next one that does not fail at once.
    Progress connectNext();
    // Closes the socket of an address that failed with `error` and notes why.
    void dropAddress(int error);
    Progress awaitConnect(int waitMs);
    Progress connected();
    Progress negotiate(int waitMs);
    // Sets up a connected socket: no delay for small writes, and a far end that vanishes
    // without closing the connection is found out (keepalive, user time-out).
    void keepWatch(int fd);
    // Reads what has arrived, at most MaxPendingBytes, into the session (or pending_ for
    // raw lines); keeps the newest MaxPendingBytes data bytes. Returns false when the
    // connection has ended.
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
    Stage stage_ = Stage::Idle;
    std::uint32_t baud_ = 0;
    std::shared_ptr<Lookup> lookup_;  // shared with its helper thread
    std::vector<SystemCalls::Address> addresses_;
    std::size_t nextAddress_ = 0;
    long long addressDeadlineMs_ = 0;                  // when the address being tried is given up
    NetworkFailure reason_ = NetworkFailure::Refused;  // why the addresses so far failed
    long long heardAtMs_ = -1;                         // when the server first said a Telnet word
};

}  // namespace kelvandor
