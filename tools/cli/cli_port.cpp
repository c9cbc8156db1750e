// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_port.h"

#include <chrono>
#include <ostream>

#include "cli/cli_codec.h"

namespace kelvandor::cli {

namespace {

using Clock = std::chrono::steady_clock;

// Each Read waits at most this long, so `stop` is seen promptly.
constexpr int ReadSliceMs = 20;
// Bytes read at a time: with the rest of an unfinished frame (at most 160 bytes) it stays
// below what the receive buffer holds.
constexpr int ReadChunk = 64;
constexpr int MaxWaitMs = 10 * 60 * 1000;

// Takes --port out of `args`. Returns the port name, or nothing after a line on `err`.
std::optional<std::string> takePort(Args& args, const char* command, std::ostream& err) {
    bool missing = false;
    std::optional<std::string> port = takeOption(args, "--port", &missing);
    if (!port || port->empty()) {
        err << command << ": --port PORT is required (COMn, a device path or a URL)\n";
        return std::nullopt;
    }
    return port;
}

bool openPort(SerialPort& port, const std::string& name, const char* command, std::ostream& err) {
    if (port.Open(name.c_str(), LineBaud, ReadSliceMs) == 1) {
        if (!port.lineNotice().empty()) {
            err << command << ": " << name << ": " << port.lineNotice() << '\n';
        }
        return true;
    }
    explainOpenFailure(port, name, command, err);
    return false;
}

// Reads and prints frames until `deadline` (if any) or `stop`. Returns false when the
// line hung up.
bool printReceived(SerialPort& port, std::ostream& out, const std::atomic<bool>& stop,
                   const Clock::time_point* deadline) {
    ReceiveBuffer buffer;
    FrameScratch scratch;
    char chunk[ReadChunk];
    while (!stop && (deadline == nullptr || Clock::now() < *deadline)) {
        const int got = port.Read(chunk, ReadChunk);
        if (got > 0) {
            appendReceived(buffer, chunk, got);
            drainFrames(buffer, scratch, out);
            out.flush();
        } else if (port.lineLost()) {
            return false;
        }
    }
    return true;
}

}  // namespace

void explainOpenFailure(const SerialPort& port, const std::string& name, const char* command,
                        std::ostream& err) {
    const std::string& path = port.lastDevicePath();
    const std::string shown = path.empty() || path == name ? name : name + " (" + path + ")";
    switch (port.lastOpenFailure()) {
        case OpenFailure::Permission:
            err << command << ": no permission to open " << shown
                << "; add your user to the dialout group (sudo usermod -aG dialout $USER)"
                << " and log in again\n";
            break;
        case OpenFailure::Setup:
            err << command << ": " << shown
                << " refused the serial line settings (is it a serial device?)\n";
            break;
        case OpenFailure::BadAddress:
        case OpenFailure::UnknownHost:
        case OpenFailure::Refused:
        case OpenFailure::NoAnswer:
        case OpenFailure::Closed:
        case OpenFailure::NotTelnet:
            err << command << ": cannot open " << shown << ": "
                << describeOpenFailure(port.lastOpenFailure()) << '\n';
            break;
        default:
            err << command << ": cannot open " << shown
                << ": it does not exist or another program is using it\n";
            break;
    }
}

int runSend(const Args& args, std::ostream& out, std::ostream& err, const std::atomic<bool>& stop) {
    Args rest = args;
    const std::optional<std::string> name = takePort(rest, "send", err);
    if (!name) {
        return ExitUsage;
    }
    bool missing = false;
    const std::optional<std::string> waitText = takeOption(rest, "--wait", &missing);
    int waitMs = DefaultWaitMs;
    if (missing || (waitText && !parseIntInRange(*waitText, 0, MaxWaitMs))) {
        err << "send: --wait takes milliseconds, 0 to " << MaxWaitMs << '\n';
        return ExitUsage;
    }
    if (waitText) {
        waitMs = *parseIntInRange(*waitText, 0, MaxWaitMs);
    }
    char frame[FrameAreaSize];
    const int length = buildFrame(rest, "send", frame, err);
    if (length == 0) {
        return ExitUsage;
    }
    SerialPort port;
    if (!openPort(port, *name, "send", err)) {
        return ExitFailed;
    }
    port.Purge();
    if (port.Write(frame, length) != 1) {
        err << "send: could not write the frame to " << *name << '\n';
        return ExitFailed;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    if (!printReceived(port, out, stop, &deadline)) {
        err << "send: " << *name << " hung up\n";
        return ExitFailed;
    }
    return ExitOk;
}

int runMonitor(const Args& args, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& stop) {
    Args rest = args;
    const std::optional<std::string> name = takePort(rest, "monitor", err);
    if (!name) {
        return ExitUsage;
    }
    if (!rest.empty()) {
        err << "monitor: unexpected argument \"" << rest[0] << "\"\n";
        return ExitUsage;
    }
    SerialPort port;
    if (!openPort(port, *name, "monitor", err)) {
        return ExitFailed;
    }
    if (!printReceived(port, out, stop, nullptr)) {
        err << "monitor: " << *name << " hung up\n";
        return ExitFailed;
    }
    return ExitOk;
}

}  // namespace kelvandor::cli
