// SPDX-License-Identifier: GPL-3.0-or-later
// What every face of the agent (HTTP, MQTT) does to a unit, in one place: the commands a
// window's buttons send, with the checks that come before a command goes out. (What they
// say of it is unit_views.h.)
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "protocol/command_table.h"

namespace kelvandor::agent {

class UnitLink;

// The frames of one command: get-information (QS, QI), restart (OR), setup (OS),
// select-satellite with "satellite" "A" or "B" (LT).
using CommandFrames = std::vector<std::pair<CommandId, std::array<std::int32_t, 2>>>;
// The frames `body` asks for, nothing when it names no such command.
std::optional<CommandFrames> commandFrames(const QJsonObject& body);

enum class CommandOutcome {
    Sent,
    ClientSending,  // a share client is sending: the unit is theirs for now
    LineDown,       // the line is down, or refused a frame
};
// Sends `frames` to the unit unless a share client is sending or the line is down; the
// mnemonics sent are appended to `sent`.
CommandOutcome sendCommandFrames(UnitLink& link, const CommandFrames& frames, QJsonArray& sent);

}  // namespace kelvandor::agent
