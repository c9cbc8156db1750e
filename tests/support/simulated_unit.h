// SPDX-License-Identifier: GPL-3.0-or-later
// What an end-to-end test runs the main window against: a simulated antenna control unit
// on a real pty, linked as COM2 in a private port folder, beside a scripted prompter. It
// starts with an empty receive buffer and installs the prompter; its end uninstalls the
// prompter, stops the unit (removing the link) and empties the receive buffer again.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/satellite_table.h"
#include "link/com_port_name.h"
#include "protocol/frame_codec.h"
#include "sim/simulator.h"
#include "ui/prompter.h"

namespace kelvandor::testing {

class SimulatedUnitOnCom2 {
  public:
    explicit SimulatedUnitOnCom2(const sim::SimOptions& options) : unit(options) {
        resetReceiveBufferForTest();
        ui::installPrompter(&prompter);
        linked_ = unit.start() && unit.linkAs(ports_.path().toStdString(), 2);
    }
    ~SimulatedUnitOnCom2() {
        ui::installPrompter(nullptr);
        unit.stop();
        resetReceiveBufferForTest();
    }
    SimulatedUnitOnCom2(const SimulatedUnitOnCom2&) = delete;
    SimulatedUnitOnCom2& operator=(const SimulatedUnitOnCom2&) = delete;

    // Whether the unit runs and COM2 leads to it.
    bool linked() const { return linked_; }
    // The port names a main window under test uses: only the links of this folder.
    ComPortNaming naming() const { return ComPortNaming::linksOnlyIn(ports_.path().toStdString()); }

  private:
    QTemporaryDir ports_;  // first: it outlives the unit's link in it
    bool linked_ = false;

  public:
    sim::Simulator unit;
    ui::ScriptedPrompter prompter;
};

// The first difference between the satellites the controller's table holds and those the
// unit stores, empty when the first `count` agree: name, longitude (in hundredths, as the
// line carries it) and both tracking blocks.
inline QString satelliteTableMismatch(const SatelliteTable& table, const sim::UnitState& unit,
                                      int count) {
    for (int k = 0; k < count; ++k) {
        const SatelliteRecord& got = table.records[static_cast<std::size_t>(k)];
        const sim::SatelliteEntry& want = unit.satellites[static_cast<std::size_t>(k)];
        if (QString::fromLatin1(got.primary.name) !=
            QString::fromStdString(sim::satelliteName(unit, k))) {
            return QStringLiteral("satellite %1 is named \"%2\"").arg(k).arg(got.primary.name);
        }
        if (std::lround(got.primary.longitude * 100.0) != want.primary[sim::BlockLongitude]) {
            return QStringLiteral("satellite %1 has longitude %2")
                .arg(k)
                .arg(got.primary.longitude);
        }
        for (std::size_t v = 0; v < got.primaryTracking.values.size(); ++v) {
            if (got.primaryTracking.values[v] != want.primaryTracking[v] ||
                got.secondaryTracking.values[v] != want.secondaryTracking[v]) {
                return QStringLiteral("satellite %1 tracking value %2 differs").arg(k).arg(v);
            }
        }
    }
    return {};
}

}  // namespace kelvandor::testing
