// SPDX-License-Identifier: GPL-3.0-or-later
// The one component that touches the serial device: opens a COM port by name with
// fixed line settings (8N1, raw, no flow control, DTR/RTS off), writes whole frames,
// reads what has arrived within a short time-out, discards pending data and closes.
// A name that leads to a tcp:// or rfc2217:// URL opens a serial line over the network
// instead (network_line.h), with the same behaviour seen from outside.
//
// Every operation returns 1 (or a byte count) on success and 0 on failure; nothing
// throws. A port that vanishes while open (the other side hangs up, a USB adapter is
// pulled) reads 0 and writes 0 and never blocks longer than the read time-out.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/com_port_name.h"
#include "link/system_calls.h"

namespace kelvandor {

// Why the last Open failed, so the caller can tell a technician what to do.
enum class OpenFailure {
    None,         // the last Open succeeded, or none was made
    AlreadyOpen,  // Open on an open port
    Unavailable,  // the device does not exist or another program holds it
    Permission,   // the user may not use the device (not in the dialout group)
    Setup,        // the device opened but refused the line settings
    // A network port (the name resolved to a tcp:// or rfc2217:// URL):
    BadAddress,   // the URL is malformed
    UnknownHost,  // its host name does not resolve
    Refused,      // nothing listens at that address and port
    NoAnswer,     // no answer within the connect time-out
    Closed,       // the server closed the connection at once (another client has it?)
    NotTelnet,    // an rfc2217:// server that does not speak Telnet
};

// One line that says why an open failed, for a message or standard error: "the
// connection was refused", ...; empty for None.
const char* describeOpenFailure(OpenFailure failure);

class NetworkLine;

class SerialPort {
  public:
    SerialPort();
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens "COMn" (resolved through the port directory, see com_port_name.h), a device
    // path or a network URL, at `baud` with `readTimeoutMs` as the longest a Read waits.
    // 1 when open. A network port may take up to NetworkLine::OpenTimeoutMs, calling the
    // wait hook meanwhile; an Open called from that hook fails with AlreadyOpen.
    virtual int Open(const char* name, int baud, int readTimeoutMs);
    // Open without waiting: as Open, except that a network port still connecting leaves
    // Pending, and continueOpen() then moves it on, never waiting, until it says Done.
    // Once Done, isOpen and lastOpenFailure() tell the outcome. Close gives a pending open
    // up; Read, Write and Purge do nothing meanwhile, and another Open fails with
    // AlreadyOpen.
    enum class OpenProgress { Done, Pending };
    OpenProgress beginOpen(const char* name, int baud, int readTimeoutMs);
    OpenProgress continueOpen();
    // True while a network port is being opened (by Open or beginOpen).
    bool isOpening() const { return opening_; }
    // Sets the read time-out; called by Open. True on success.
    virtual int SetTimeouts(int readTimeoutMs);
    // Discards pending input and output. 0 when closed or refused.
    virtual int Purge();
    // Closes the device if open. Always 1.
    virtual int Close();
    // 1 when all `length` bytes were handed to the device; 0 when closed or on failure.
    virtual int Write(const char* bytes, int length);
    // The number of bytes placed in `buffer` (at most `maxCount`); 0 when none arrived
    // within the time-out, the port is closed or the device has gone.
    virtual int Read(char* buffer, int maxCount);

    int isOpen = 0;
    int handle = -1;

    OpenFailure lastOpenFailure() const { return lastFailure_; }
    // The device path the last Open resolved its name to ("/dev/ttyS1", a pty, ...), or
    // the URL of a network port.
    const std::string& lastDevicePath() const { return lastDevice_; }
    // True while a network port is open.
    bool isNetwork() const { return network_ != nullptr && handle >= 0; }
    // Something the user should know about the open line, said once per Open: an
    // rfc2217:// server that would not set the line, so it keeps the server's settings.
    // Empty for none.
    const std::string& lineNotice() const { return notice_; }

    // Called again and again while Open waits on the network, so a window can dispatch
    // its events; none by default (the CLI simply waits).
    void setWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
    const std::function<void()>& waitHook() const { return waitHook_; }

    // Where "COMn" names are looked up; the environment's naming unless a caller sets one.
    void setNaming(const ComPortNaming& naming) { naming_ = naming; }
    const ComPortNaming& naming() const { return naming_; }

    // True once Read or Write has found the device gone (hang-up, EIO) since the last
    // successful Open. Such a port keeps returning 0 until it is closed and opened again.
    bool lineLost() const { return lineLost_; }

    // Routes every system call of this port through `calls` (tests inject failures);
    // the operating system's own calls unless set. `calls` must outlive the port.
    void setSystemCalls(SystemCalls& calls) { sys_ = &calls; }

    // The longest a Write waits for the device to take its bytes before giving up.
    static constexpr int WriteGiveUpMs = 1000;
    // Driver queue sizes of the line settings. Linux sizes its tty queues itself and
    // offers no call to change them, so they are documented here and not applied.
    static constexpr int QueueBytes = 1024;

  private:
    int fail(OpenFailure reason);
    // Takes the outcome of the network line's open: 1 when open.
    int finishNetworkOpen(int readTimeoutMs);
    int applyLineSettings(int baud);
    // Waits until `fd` reports one of `events` or `timeoutMs` passes, retrying EINTR.
    // Returns the revents (0 on time-out), or -1 when poll itself failed.
    int waitFor(short events, int timeoutMs);
    void markLineLost() { lineLost_ = true; }

    int readTimeoutMs_ = 1;
    OpenFailure lastFailure_ = OpenFailure::None;
    std::string lastDevice_;
    ComPortNaming naming_;
    bool lineLost_ = false;
    SystemCalls* sys_ = &realSystemCalls();
    std::unique_ptr<NetworkLine> network_;
    bool opening_ = false;  // a network open is under way
    bool waiting_ = false;  // ... and Open is waiting for it, calling the wait hook
    int pendingReadTimeoutMs_ = 1;
    std::string notice_;
    std::function<void()> waitHook_;
};

}  // namespace kelvandor
