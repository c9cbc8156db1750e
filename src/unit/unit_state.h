// SPDX-License-Identifier: GPL-3.0-or-later
// The state of one antenna control unit as its reports tell it: what a program that
// watches a unit (the agent, a status query) knows of it. One UnitModel is fed every
// frame that comes from the unit and keeps the latest value of each report, with the
// counters of what came in and the time of the last report.
//
// Every field is empty until its report has come. Values are kept as the line carries
// them (hundredths of a degree, raw signal words); the helpers below turn them into what
// a person reads.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "protocol/command_table.h"

namespace kelvandor::unit {

// What Ni reports about once a second.
struct StatusReport {
    std::int32_t state = 0;
    std::int32_t rawLevel = 0;  // 800 minus the signal level (see signalLevel())
    std::int32_t lock = 0;      // non-zero: locked on a carrier
    std::int32_t azimuth = 0;   // hundredths of a degree
    std::int32_t elevation = 0;
    std::int32_t skew = 0;

    long long signalLevel() const;
    bool locked() const { return lock != 0; }
};

struct SatelliteEntry {
    std::string name;            // as the unit sent it, up to its first zero byte
    std::int32_t longitude = 0;  // hundredths of a degree
    std::int32_t eastWest = 0;   // geo::FlagEast or geo::FlagWest
};

struct GpsPosition {
    std::int32_t longitude = 0;   // hundredths of DDD.MM
    std::int32_t eastWest = 0;    // geo::FlagEast for east
    std::int32_t latitude = 0;    // hundredths of DD.MM
    std::int32_t northSouth = 0;  // geo::CodeNorth for north
};

struct Versions {
    std::int32_t software = 0;  // hundredths
    std::int32_t sizeCode = 0;  // product-size code (see productSizeOf)
    std::int32_t second = 0;    // hundredths
};

struct LnbFrequencies {
    std::int32_t low = 0;  // MHz
    std::int32_t high = 0;
};

// The satellite slots of NP: the satellite index in each of five slots.
using SlotTable = std::array<std::int32_t, 5>;

inline constexpr std::int32_t MaxSatellites = 20;  // a table holds satellites 0..19

struct UnitState {
    bool answered = false;  // the unit has said its state (NA or Ni)
    std::optional<std::int32_t> state;
    std::optional<StatusReport> status;
    std::optional<std::string> productName;
    std::optional<Versions> versions;
    std::optional<std::string> serialNumber;
    std::optional<GpsPosition> gps;
    std::optional<LnbFrequencies> lnb;           // NL of kind 0
    std::optional<std::int32_t> frequencyInUse;  // NL of other kinds, MHz
    std::optional<std::int32_t> satelliteCount;
    std::map<std::int32_t, SatelliteEntry> satellites;
    std::optional<SlotTable> slotTable;
    std::optional<std::int32_t> currentSlot;
    std::optional<bool> comm;  // the unit's Comm indicator (TC 11): on or off

    // The product-size index (0..6) of the reported versions, when they have come.
    std::optional<int> productSize() const;
    // The satellite index the unit tracks, when the slot in use names one.
    std::optional<std::int32_t> trackedSatellite() const;
    // Whether every part of the picture QS and QI ask for has come: state, status,
    // product, versions, GPS position, slots, slot in use and each satellite of the table.
    bool complete() const;
};

// The state's name as antennaStateName gives it, for each state code a unit reports; the
// list a monitor enumerates (each name once).
inline constexpr std::array<const char*, 7> StateNames = {
    "set-up", "search", "tracking", "unwrap", "initialise", "sleep", "unknown"};

class UnitModel {
  public:
    using WallClock = std::chrono::system_clock;

    // Takes one decoded frame from the unit, received at `now`: counts it and keeps what a
    // report says. `params` holds at least paramCount(id) values. Frames that are no
    // report of the unit's state (echoes of set-up commands, progress) are counted only.
    void takeFrame(CommandId id, const std::int32_t* params, WallClock::time_point now);
    // Counts a received chunk that did not decode (bad checksum, unknown mnemonic, ...).
    void noteDecodeError() { ++decodeErrors_; }

    const UnitState& state() const { return state_; }
    std::uint64_t framesReceived() const { return framesReceived_; }
    std::uint64_t decodeErrors() const { return decodeErrors_; }
    // When the last frame came from the unit; empty before the first.
    std::optional<WallClock::time_point> lastReport() const { return lastReport_; }

  private:
    UnitState state_;
    std::uint64_t framesReceived_ = 0;
    std::uint64_t decodeErrors_ = 0;
    std::optional<WallClock::time_point> lastReport_;
};

}  // namespace kelvandor::unit
