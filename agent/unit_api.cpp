// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent/unit_api.h"

#include <QString>

#include "agent/unit_link.h"

namespace kelvandor::agent {

namespace {

// The slot codes of the window's "Satellite A" and "Satellite B" buttons; the second word
// of LT always travels as 0.
constexpr std::int32_t SlotCodeA = 0;
constexpr std::int32_t SlotCodeB = 1;

}  // namespace

std::optional<CommandFrames> commandFrames(const QJsonObject& body) {
    const QString what = body.value(QStringLiteral("command")).toString();
    const QString satellite = body.value(QStringLiteral("satellite")).toString();
    if (what == QLatin1String("get-information")) {
        return CommandFrames{{cmd::QS, {}}, {cmd::QI, {}}};
    }
    if (what == QLatin1String("restart")) {
        return CommandFrames{{cmd::OR, {}}};
    }
    if (what == QLatin1String("setup")) {
        return CommandFrames{{cmd::OS, {}}};
    }
    if (what == QLatin1String("select-satellite") && satellite == QLatin1String("A")) {
        return CommandFrames{{cmd::LT, {SlotCodeA, 0}}};
    }
    if (what == QLatin1String("select-satellite") && satellite == QLatin1String("B")) {
        return CommandFrames{{cmd::LT, {SlotCodeB, 0}}};
    }
    return std::nullopt;
}

CommandOutcome sendCommandFrames(UnitLink& link, const CommandFrames& frames, QJsonArray& sent) {
    if (link.clientSending()) {
        return CommandOutcome::ClientSending;
    }
    if (!link.connected()) {
        return CommandOutcome::LineDown;
    }
    for (const auto& [id, params] : frames) {
        if (!link.sendCommand(id, params.data())) {
            return CommandOutcome::LineDown;
        }
        const CommandEntry& entry = CommandTable[static_cast<std::size_t>(id)];
        sent.append(QString(QChar::fromLatin1(entry.first)) + QChar::fromLatin1(entry.second));
    }
    return CommandOutcome::Sent;
}

}  // namespace kelvandor::agent
