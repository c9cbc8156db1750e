// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/telnet_session.h"

namespace kelvandor {

namespace {

using namespace telnet;

void appendCommand(std::string& out, unsigned char verb, unsigned char option) {
    out.push_back(static_cast<char>(Iac));
    out.push_back(static_cast<char>(verb));
    out.push_back(static_cast<char>(option));
}

// IAC SB COM-PORT-OPTION request value... IAC SE, with 0xFF in the value doubled.
void appendComPortRequest(std::string& out, unsigned char request, const unsigned char* value,
                          std::size_t length) {
    out.push_back(static_cast<char>(Iac));
    out.push_back(static_cast<char>(Sb));
    out.push_back(static_cast<char>(OptComPort));
    out.push_back(static_cast<char>(request));
    TelnetSession::escape(reinterpret_cast<const char*>(value), length, out);
    out.push_back(static_cast<char>(Iac));
    out.push_back(static_cast<char>(Se));
}

}  // namespace

bool TelnetSession::weOffer(unsigned char option) {
    return option == OptBinary || option == OptSuppressGoAhead || option == OptComPort;
}

bool TelnetSession::weAccept(unsigned char option) {
    return option == OptBinary || option == OptSuppressGoAhead;
}

void TelnetSession::start(std::uint32_t baud, std::string& out) {
    requestedBaud_ = baud;
    appendCommand(out, Will, OptComPort);
    local_[OptComPort] = Side::Asked;
    appendCommand(out, Will, OptBinary);
    local_[OptBinary] = Side::Asked;
    appendCommand(out, Do, OptBinary);
    remote_[OptBinary] = Side::Asked;
}

void TelnetSession::escape(const char* bytes, std::size_t count, std::string& out) {
    for (std::size_t k = 0; k < count; ++k) {
        out.push_back(bytes[k]);
        if (static_cast<unsigned char>(bytes[k]) == Iac) {
            out.push_back(bytes[k]);
        }
    }
}

void TelnetSession::purgeRequest(std::string& out) {
    const unsigned char both = PurgeBoth;
    appendComPortRequest(out, PurgeData, &both, 1);
}

void TelnetSession::receive(const char* bytes, std::size_t count, std::string& data,
                            std::string& out) {
    for (std::size_t k = 0; k < count; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[k]);
        switch (parse_) {
            case Parse::Data:
                if (byte == Iac) {
                    parse_ = Parse::Iac;
                } else {
                    data.push_back(static_cast<char>(byte));
                }
                break;
            case Parse::Iac:
                if (byte == Iac) {
                    data.push_back(static_cast<char>(byte));  // an escaped 0xFF
                    parse_ = Parse::Data;
                    break;
                }
                heardTelnet_ = true;
                if (byte >= Will && byte <= Dont) {
                    verb_ = byte;
                    parse_ = Parse::Option;
                } else if (byte == Sb) {
                    sub_.clear();
                    subOverflow_ = false;
                    parse_ = Parse::Sub;
                } else {
                    parse_ = Parse::Data;  // NOP, GA, AYT and the rest carry nothing for us
                }
                break;
            case Parse::Option:
                onOption(verb_, byte, out);
                parse_ = Parse::Data;
                break;
            case Parse::Sub:
                if (byte == Iac) {
                    parse_ = Parse::SubIac;
                } else if (sub_.size() < MaxSubnegotiation) {
                    sub_.push_back(static_cast<char>(byte));
                } else {
                    subOverflow_ = true;
                }
                break;
            case Parse::SubIac:
                if (byte == Iac) {
                    if (sub_.size() < MaxSubnegotiation) {
                        sub_.push_back(static_cast<char>(byte));
                    } else {
                        subOverflow_ = true;
                    }
                    parse_ = Parse::Sub;
                } else if (byte == Se) {
                    if (!subOverflow_) {
                        onSubnegotiation();
                    }
                    parse_ = Parse::Data;
                } else {
                    // IAC and a command inside a subnegotiation: the server broke it off.
                    // Drop it and take the byte as the command after IAC.
                    parse_ = Parse::Iac;
                    --k;
                }
                break;
        }
    }
}

void TelnetSession::onOption(unsigned char verb, unsigned char option, std::string& out) {
    const bool enable = verb == Will || verb == Do;
    // DO / DONT are about what we perform; WILL / WONT about what the server performs.
    const bool aboutUs = verb == Do || verb == Dont;
    Side& side = aboutUs ? local_[option] : remote_[option];
    const bool wanted = aboutUs ? weOffer(option) : weAccept(option);
    const unsigned char yes = aboutUs ? Will : Do;
    const unsigned char no = aboutUs ? Wont : Dont;

    if (enable) {
        if (side == Side::Yes) {
            return;  // already in that state: no answer, or we would loop
        }
        if (!wanted) {
            appendCommand(out, no, option);
            return;
        }
        if (side == Side::No) {
            appendCommand(out, yes, option);  // the server asked first
        }
        side = Side::Yes;
        if (aboutUs && option == OptComPort && comPort_ != ComPortState::Accepted) {
            comPort_ = ComPortState::Accepted;
            sendSettings(out);
        }
        return;
    }
    // A refusal or a switch-off.
    if (side == Side::Yes) {
        appendCommand(out, no, option);
    }
    side = Side::No;
    if (aboutUs && option == OptComPort) {
        comPort_ = ComPortState::Refused;
    }
}

void TelnetSession::sendSettings(std::string& out) {
    const std::uint32_t rate = requestedBaud_;
    const unsigned char baud[4] = {
        static_cast<unsigned char>(rate >> 24), static_cast<unsigned char>(rate >> 16),
        static_cast<unsigned char>(rate >> 8), static_cast<unsigned char>(rate)};
    appendComPortRequest(out, SetBaudRate, baud, sizeof baud);
    appendComPortRequest(out, SetDataSize, &LineDataBits, 1);
    appendComPortRequest(out, SetParity, &ParityNone, 1);
    appendComPortRequest(out, SetStopSize, &StopBitsOne, 1);
    appendComPortRequest(out, SetControl, &ControlNoFlow, 1);
    appendComPortRequest(out, SetControl, &ControlDtrOff, 1);
    appendComPortRequest(out, SetControl, &ControlRtsOff, 1);
}

void TelnetSession::onSubnegotiation() {
    constexpr std::size_t BaudBytes = 4;
    if (sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != OptComPort) {
        return;  // another option's subnegotiation, or an empty one: nothing for us
    }
    const auto code = static_cast<unsigned char>(sub_[1]);
    const std::string_view value(sub_.data() + 2, sub_.size() - 2);
    const auto byteAt = [&](std::size_t k) { return static_cast<unsigned char>(value[k]); };
    if (code == ServerOffset + SetBaudRate && value.size() == BaudBytes) {
        baud_ = (std::uint32_t{byteAt(0)} << 24) | (std::uint32_t{byteAt(1)} << 16) |
                (std::uint32_t{byteAt(2)} << 8) | std::uint32_t{byteAt(3)};
    } else if (value.size() == 1) {
        if (code == ServerOffset + SetDataSize) {
            dataSize_ = byteAt(0);
        } else if (code == ServerOffset + SetParity) {
            parity_ = byteAt(0);
        } else if (code == ServerOffset + SetStopSize) {
            stopSize_ = byteAt(0);
        }
    }
}

}  // namespace kelvandor
