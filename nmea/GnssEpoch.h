#pragma once
// What a multi-constellation receiver reports about one epoch over several
// sentences: the used satellites in one GSA per system, and the satellites in
// view in one GSV cycle per system (and per signal, NMEA 4.11). An epoch's
// GSA sentences add up; a new epoch starts after a GGA, RMC or GLL, or when a
// system reports a second time.

#include <array>
#include <cstddef>
#include <cstdint>

#include "nmea/GnssSystem.h"
#include "nmea/GpsPosition.h"
#include "platform/Clock.h"

using SatelliteValues = std::array<uint32_t, kGpsMaxSatellites>;

// Satellites one epoch can hold, every system together; more are left out.
constexpr size_t kMaxEpochSatellites = 64;

// One satellite in view as a GSV cycle reports it.
struct SkySatellite {
  uint32_t prn = 0;
  uint32_t elevation = 0;
  uint32_t azimuth = 0;
  uint32_t snr = 0;
  GnssSystem system = GnssSystem::Unknown;
  GnssSystem talker = GnssSystem::Unknown;  // the system of the cycle that reported it
};

class EpochUsedSatellites {
 public:
  void OnPositionSentence() { m_bEpochEnded = true; }
  // One GSA's twelve PRN fields (0: empty); `reported` is the system that its
  // system id or talker names, Unknown for GN without a system id.
  void AddGsa(GnssSystem reported, const SatelliteValues& prnFields);

  // What the record shows: the last complete epoch's satellites until every
  // system of that epoch has reported in this one (a record published in the
  // middle of an epoch would count only some systems), then this epoch's.
  uint32_t Count() const { return m_ShownCount; }
  // The first GSA's fields as read, the other GSAs' PRNs after its last one.
  const SatelliteValues& Slots() const { return m_ShownSlots; }
  bool Uses(GnssSystem system, uint32_t prn) const;

 private:
  struct UsedSatellite {
    GnssSystem system;
    uint32_t prn;
  };
  void Restart();
  void AppendToSlots(uint32_t prn);
  void Show();

  bool m_bEpochEnded = false;
  uint32_t m_SystemsReported = 0;  // one bit per GnssSystem
  uint32_t m_LastEpochSystems = 0;
  uint32_t m_ShownCount = 0;
  SatelliteValues m_ShownSlots{};
  bool m_bFirstGsa = true;
  uint32_t m_Count = 0;
  SatelliteValues m_Slots{};
  std::array<UsedSatellite, kMaxEpochSatellites> m_Used{};
  size_t m_UsedCount = 0;
};

// The satellites a record shows, at most twelve, and how many are in view.
struct SkySelection {
  uint32_t inView = 0;
  size_t shown = 0;
  std::array<SkySatellite, kGpsMaxSatellites> satellites{};
};

// Satellites in view that one GSV cycle can announce.
constexpr uint16_t kGsvMaxInView = 36;
// How long a system's satellites stay without a report of that system.
constexpr uint32_t kSkyKeepMs = 5000;

// The sky as every system last reported it. Receivers send each system's GSV
// at its own rate, so a system's satellites stay until that system reports
// again on that signal, or for kSkyKeepMs without a report.
class EpochSky {
 public:
  // One complete GSV cycle of `talker` on `signal` (0: not given), decoded at
  // `now`: it replaces what that talker last reported on that signal.
  void AddCycle(GnssSystem talker, uint32_t signal, const SkySatellite* satellites, size_t count, FILETIME now);
  // The satellites of every cycle kept at `now`. A satellite reported on
  // several signals counts once, with its strongest SNR. Of more than twelve,
  // those used in the fix come first, then the strongest; the twelve keep the
  // order in which they were first reported.
  SkySelection Select(const EpochUsedSatellites& used, FILETIME now) const;

 private:
  struct Cycle {
    GnssSystem talker = GnssSystem::Unknown;
    uint32_t signal = 0;
    FILETIME reported = 0;
    std::array<SkySatellite, kGsvMaxInView> satellites{};
    size_t satelliteCount = 0;
  };
  static constexpr size_t kMaxCycles = 16;

  Cycle& CycleFor(GnssSystem talker, uint32_t signal, FILETIME now);
  static bool Kept(const Cycle& cycle, FILETIME now);

  std::array<Cycle, kMaxCycles> m_Cycles{};
  size_t m_CycleCount = 0;
};
