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

void EpochSky::SatelliteList::Add(const SkySatellite& satellite) {
  for (size_t i = 0; i < count; ++i) {
    SkySatellite& known = items[i];
    if (known.system == satellite.system && known.prn == satellite.prn) {
      known.snr = std::max(known.snr, satellite.snr);
      return;
    }
  }
  if (count < items.size()) items[count++] = satellite;
}

void EpochSky::Restart() {
  m_bEpochEnded = false;
  m_Previous = m_Current;
  m_Current.count = 0;
  m_TalkersReported = 0;
  m_CycleCount = 0;
}

bool EpochSky::Reported(const CycleKey& key) const {
  return std::any_of(m_Cycles.begin(), m_Cycles.begin() + static_cast<std::ptrdiff_t>(m_CycleCount),
                     [&](const CycleKey& cycle) { return cycle.talker == key.talker && cycle.signal == key.signal; });
}

void EpochSky::AddCycle(GnssSystem talker, uint32_t signal, const SkySatellite* satellites, size_t count) {
  const CycleKey key{talker, signal};
  if (m_bEpochEnded || Reported(key)) Restart();
  if (m_CycleCount < m_Cycles.size()) m_Cycles[m_CycleCount++] = key;
  m_TalkersReported |= Bit(talker);
  for (size_t i = 0; i < count; ++i) {
    SkySatellite satellite = satellites[i];
    satellite.system = SatelliteSystem(talker, satellite.prn);
    satellite.talker = talker;
    m_Current.Add(satellite);
  }
}

SkySelection EpochSky::Select(const EpochUsedSatellites& used) const {
  std::array<const SkySatellite*, 2 * kMaxEpochSatellites> candidates{};
  size_t count = 0;
  for (size_t i = 0; i < m_Current.count; ++i) candidates[count++] = &m_Current.items[i];
  for (size_t i = 0; i < m_Previous.count; ++i) {
    if ((m_TalkersReported & Bit(m_Previous.items[i].talker)) == 0) candidates[count++] = &m_Previous.items[i];
  }

  std::array<bool, candidates.size()> inFix{};
  for (size_t i = 0; i < count; ++i) inFix[i] = used.Uses(candidates[i]->system, candidates[i]->prn);
  std::array<uint8_t, candidates.size()> order{};
  std::iota(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(count), 0);
  const auto ranksHigher = [&](uint8_t a, uint8_t b) {
    if (inFix[a] != inFix[b]) return inFix[a];
    if (candidates[a]->snr != candidates[b]->snr) return candidates[a]->snr > candidates[b]->snr;
    return a < b;
  };
  SkySelection selection;
  selection.inView = static_cast<uint32_t>(count);
  selection.shown = std::min(count, kGpsMaxSatellites);
  const auto shownEnd = order.begin() + static_cast<std::ptrdiff_t>(selection.shown);
  std::partial_sort(order.begin(), shownEnd, order.begin() + static_cast<std::ptrdiff_t>(count), ranksHigher);
  std::sort(order.begin(), shownEnd);
  for (size_t i = 0; i < selection.shown; ++i) selection.satellites[i] = *candidates[order[i]];
  return selection;
}
