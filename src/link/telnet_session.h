// SPDX-License-Identifier: GPL-3.0-or-later
// The client side of a Telnet connection to a serial server with the COM-PORT-OPTION
// (RFC 854/855 for Telnet and its options, RFC 2217 for the serial line). It does no I/O:
// the network line feeds it every byte received and sends what it answers.
//
// What it does:
// - Separates the line's data bytes from Telnet commands, options and subnegotiations,
//   which may be split across reads anywhere (even inside "IAC IAC"); a data byte 0xFF
//   arrives doubled and leaves single, and escape() doubles it on the way out.
// - Asks for COM-PORT-OPTION (WILL); once the server agrees (DO), sends the line settings
//   once: the baud rate given to start() (19200 for the antenna), 8 data bits, no parity,
//   1 stop bit, no flow control, then DTR and RTS off, as a local port holds them. The
//   server's answers to those requests are recorded (confirmedBaud() and the rest).
// - Asks for BINARY both ways and takes SUPPRESS-GO-AHEAD both ways; refuses ECHO and
//   every other option (WONT / DONT), answering each request only when it would change the
//   option's state, so no negotiation loops or hangs.
//
// Observed servers (Debian 12's ser2net 4.3.11, telnet(rfc2217) accepter):
// - It does not wait for the client: on connect it sends WILL SGA, DO SGA, WILL ECHO,
//   DONT ECHO, DO BINARY, WILL BINARY and DO COM-PORT-OPTION in one segment. Our own WILL
//   COM-PORT-OPTION then crosses its DO and is not answered again; both orders must work.
// - Unasked, it sends NOTIFY-MODEMSTATE (server code 107) subnegotiations, and these come
//   in the middle of the unit's frames ("{Ni 2 247 1 IAC SB 44 107 0 IAC SE 16860 ...").
// - It answers each SET-BAUDRATE / SET-DATASIZE / SET-PARITY / SET-STOPSIZE with the value
//   it set (codes 101..104); the baud rate as 4 bytes, most significant first.
// - It answers SET-CONTROL for flow control (code 105), but leaves SET-CONTROL DTR off and
//   RTS off (9, 12) unanswered, at least on a pseudo-terminal, which has no modem lines.
//   Nothing waits for those answers.
// - It opens the device with the accepter's configured settings at each connect and puts
//   back the termios it found when the client leaves: what we set lasts one connection.
// - Its plain "telnet" accepter (without rfc2217) offers the same options but never
//   answers WILL COM-PORT-OPTION: neither DO nor DONT. A server that speaks Telnet and
//   leaves the request unanswered for a while has to be taken as refusing it.
// - A raw ("tcp") accepter sends nothing at connect: only the unit's own bytes arrive,
//   and no Telnet answer ever comes.
// - It opens the device anew for every connection. While one connection is still
//   closing, a new one to any accepter of the same device is closed at once: the client
//   sees the connection end before any answer (a retry a moment later works).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvandor {

namespace telnet {
inline constexpr unsigned char Se = 240;
inline constexpr unsigned char Nop = 241;
inline constexpr unsigned char Sb = 250;
inline constexpr unsigned char Will = 251;
inline constexpr unsigned char Wont = 252;
inline constexpr unsigned char Do = 253;
inline constexpr unsigned char Dont = 254;
inline constexpr unsigned char Iac = 255;

inline constexpr unsigned char OptBinary = 0;
inline constexpr unsigned char OptEcho = 1;
inline constexpr unsigned char OptSuppressGoAhead = 3;
inline constexpr unsigned char OptComPort = 44;

// COM-PORT-OPTION requests (client to server); the server answers with the code + 100.
inline constexpr unsigned char SetBaudRate = 1;
inline constexpr unsigned char SetDataSize = 2;
inline constexpr unsigned char SetParity = 3;
inline constexpr unsigned char SetStopSize = 4;
inline constexpr unsigned char SetControl = 5;
inline constexpr unsigned char PurgeData = 12;
inline constexpr unsigned char ServerOffset = 100;

inline constexpr unsigned char ParityNone = 1;
inline constexpr unsigned char StopBitsOne = 1;
inline constexpr unsigned char ControlNoFlow = 1;
inline constexpr unsigned char ControlDtrOff = 9;
inline constexpr unsigned char ControlRtsOff = 12;
inline constexpr unsigned char PurgeBoth = 3;
}  // namespace telnet

// What became of our request for COM-PORT-OPTION.
enum class ComPortState {
    Asked,     // no answer yet
    Accepted,  // the server agreed; the line settings have been sent
    Refused,   // the server refused; the line keeps the server's own settings
};

class TelnetSession {
  public:
    static constexpr unsigned char LineDataBits = 8;
    // A subnegotiation longer than this is dropped whole (no server answer is near it).
    static constexpr std::size_t MaxSubnegotiation = 64;

    // Appends to `out` the requests a new connection opens with; `baud` is the rate asked
    // for once the server takes COM-PORT-OPTION.
    void start(std::uint32_t baud, std::string& out);

    // Takes `count` bytes received. The line's data bytes are appended to `data` and the
    // answers the session owes the server to `out`. Keeps any unfinished command for the
    // next call.
    void receive(const char* bytes, std::size_t count, std::string& data, std::string& out);

    // Appends `count` data bytes to `out` as they go on the wire (0xFF doubled).
    static void escape(const char* bytes, std::size_t count, std::string& out);
    // Appends a COM-PORT-OPTION request to discard both directions of the far line.
    static void purgeRequest(std::string& out);

    ComPortState comPort() const { return comPort_; }
    // True once any Telnet command has arrived: the server speaks Telnet.
    bool heardTelnet() const { return heardTelnet_; }
    // The settings the server reports it set; nothing until it has answered.
    std::optional<std::uint32_t> confirmedBaud() const { return baud_; }
    std::optional<unsigned char> confirmedDataSize() const { return dataSize_; }
    std::optional<unsigned char> confirmedParity() const { return parity_; }
    std::optional<unsigned char> confirmedStopSize() const { return stopSize_; }

  private:
    enum class Parse { Data, Iac, Option, Sub, SubIac };
    enum class Side : unsigned char { No, Yes, Asked };

    void onOption(unsigned char verb, unsigned char option, std::string& out);
    void onSubnegotiation();
    void sendSettings(std::string& out);
    static bool weOffer(unsigned char option);
    static bool weAccept(unsigned char option);

    std::uint32_t requestedBaud_ = 0;
    Parse parse_ = Parse::Data;
    unsigned char verb_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
    std::array<Side, 256> local_{};   // options we perform (answered by DO / DONT)
    std::array<Side, 256> remote_{};  // options the server performs (WILL / WONT)
    ComPortState comPort_ = ComPortState::Asked;
    bool heardTelnet_ = false;
    std::optional<std::uint32_t> baud_;
    std::optional<unsigned char> dataSize_;
    std::optional<unsigned char> parity_;
    std::optional<unsigned char> stopSize_;
};

}  // namespace kelvandor
