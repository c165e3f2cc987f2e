#include "nmea/GnssEpoch.h"

#include <algorithm>
#include <numeric>

namespace {

uint32_t Bit(GnssSystem system) { return 1u << static_cast<unsigned>(system); }

// Unknown on either side (GN numbers outside every range) leaves the number to decide.
bool SameSatellite(GnssSystem systemA, uint32_t prnA, GnssSystem systemB, uint32_t prnB) {
  return prnA == prnB && (systemA == systemB || systemA == GnssSystem::Unknown || systemB == GnssSystem::Unknown);
}

}  // namespace

void EpochUsedSatellites::Restart() {
  Show();
  m_LastEpochSystems = m_SystemsReported;
  m_bEpochEnded = false;
  m_SystemsReported = 0;
  m_bFirstGsa = true;
  m_Count = 0;
  m_Slots = {};
  m_UsedCount = 0;
}

void EpochUsedSatellites::AddGsa(GnssSystem reported, const SatelliteValues& prnFields) {
  GnssSystem system = reported;
  if (system == GnssSystem::Unknown) {
    const auto first = std::find_if(prnFields.begin(), prnFields.end(), [](uint32_t prn) { return prn != 0; });
    if (first != prnFields.end()) system = SatelliteSystem(GnssSystem::Unknown, *first);
  }
  if (m_bEpochEnded || (m_SystemsReported & Bit(system)) != 0) Restart();
  m_SystemsReported |= Bit(system);

  if (m_bFirstGsa) m_Slots = prnFields;
  for (uint32_t prn : prnFields) {
    if (prn == 0) continue;
    ++m_Count;
    if (!m_bFirstGsa) AppendToSlots(prn);
    if (m_UsedCount < m_Used.size()) m_Used[m_UsedCount++] = {SatelliteSystem(reported, prn), prn};
  }
  m_bFirstGsa = false;
  if ((m_SystemsReported & m_LastEpochSystems) == m_LastEpochSystems) Show();
}

void EpochUsedSatellites::Show() {
  m_ShownCount = m_Count;
  m_ShownSlots = m_Slots;
}

void EpochUsedSatellites::AppendToSlots(uint32_t prn) {
  const auto lastUsed = std::find_if(m_Slots.rbegin(), m_Slots.rend(), [](uint32_t slot) { return slot != 0; });
  const auto next = static_cast<size_t>(m_Slots.rend() - lastUsed);
  if (next < m_Slots.size()) m_Slots[next] = prn;
}

bool EpochUsedSatellites::Uses(GnssSystem system, uint32_t prn) const {
  return std::any_of(m_Used.begin(), m_Used.begin() + static_cast<std::ptrdiff_t>(m_UsedCount),
                     [&](const UsedSatellite& used) { return SameSatellite(used.system, used.prn, system, prn); });
}

bool EpochSky::Kept(const Cycle& cycle, FILETIME now) {
  return now <= cycle.reported + FILETIME{kSkyKeepMs} * kFileTimeTicksPerMs;
}

EpochSky::Cycle& EpochSky::CycleFor(GnssSystem talker, uint32_t signal, FILETIME now) {
  const auto begin = m_Cycles.begin();
  const auto end = begin + static_cast<std::ptrdiff_t>(m_CycleCount);
  const auto same = std::find_if(begin, end, [&](const Cycle& c) { return c.talker == talker && c.signal == signal; });
  if (same != end) return *same;
  // A new system takes a free place, else the place of one no longer kept, else of the one heard of longest ago.
  if (m_CycleCount < m_Cycles.size()) return m_Cycles[m_CycleCount++];
  const auto gone = std::find_if(begin, end, [&](const Cycle& c) { return !Kept(c, now); });
  if (gone != end) return *gone;
  return *std::min_element(begin, end, [](const Cycle& a, const Cycle& b) { return a.reported < b.reported; });
}

void EpochSky::AddCycle(GnssSystem talker, uint32_t signal, const SkySatellite* satellites, size_t count,
                        FILETIME now) {
  Cycle& cycle = CycleFor(talker, signal, now);
  cycle.talker = talker;
  cycle.signal = signal;
  cycle.reported = now;
  cycle.satelliteCount = std::min(count, cycle.satellites.size());
  for (size_t i = 0; i < cycle.satelliteCount; ++i) {
    SkySatellite& satellite = cycle.satellites[i];
    satellite = satellites[i];
    satellite.system = SatelliteSystem(talker, satellite.prn);
    satellite.talker = talker;
  }
}

SkySelection EpochSky::Select(const EpochUsedSatellites& used, FILETIME now) const {
  std::array<SkySatellite, kMaxEpochSatellites> candidates{};
  size_t count = 0;
  for (size_t c = 0; c < m_CycleCount; ++c) {
    const Cycle& cycle = m_Cycles[c];
    if (!Kept(cycle, now)) continue;
    for (size_t i = 0; i < cycle.satelliteCount; ++i) {
      const SkySatellite& satellite = cycle.satellites[i];
      const auto end = candidates.begin() + static_cast<std::ptrdiff_t>(count);
      const auto known = std::find_if(candidates.begin(), end, [&](const SkySatellite& k) {
        return k.system == satellite.system && k.prn == satellite.prn;
      });
      if (known != end) {
        known->snr = std::max(known->snr, satellite.snr);
      } else if (count < candidates.size()) {
        candidates[count++] = satellite;
      }
    }
  }

  std::array<bool, candidates.size()> inFix{};
  for (size_t i = 0; i < count; ++i) inFix[i] = used.Uses(candidates[i].system, candidates[i].prn);
  std::array<uint8_t, candidates.size()> order{};
  std::iota(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), 0);
  const auto ranksHigher = [&](uint8_t a, uint8_t b) {
    if (inFix[a] != inFix[b]) return inFix[a];
    if (candidates[a].snr != candidates[b].snr) return candidates[a].snr > candidates[b].snr;
    return a < b;
  };
  SkySelection selection;
  selection.inView = static_cast<uint32_t>(count);
  selection.shown = std::min(count, kGpsMaxSatellites);
  const auto shownEnd = order.begin() + static_cast<std::ptrdiff_t>(selection.shown);
  std::partial_sort(order.begin(), shownEnd, order.begin() + static_cast<std::ptrdiff_t>(count), ranksHigher);
  std::sort(order.begin(), shownEnd);
  for (size_t i = 0; i < selection.shown; ++i) selection.satellites[i] = candidates[order[i]];
  return selection;
}
