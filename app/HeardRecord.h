#pragma once
// The last record a page heard of, with the systems of its in-view slots:
// stored on the device thread, copied on the UI thread for a paint. Store
// tells whether the sky the Signal and Position pages draw from it changed:
// the fix colour, the satellite counts and the in-view slots.

#include <algorithm>
#include <mutex>

#include "device/GPSDevice.h"
#include "app/pages/logic/SignalBars.h"
#include "nmea/GnssSystem.h"

class CHeardRecord {
 public:
  // Device thread, right after `device` published `record` with its systems.
  // True when the sky drawn from it changed.
  bool Store(CGPSDevice* device, const GpsPosition& record) {
    SatelliteSystems systems{};
    if (device != nullptr) device->CopyPosition(systems);
    std::lock_guard lock(m_Lock);
    const bool changed = !m_bStored || !SameSky(m_Record, record) || m_Systems != systems;
    m_Record = record;
    m_Systems = systems;
    m_bStored = true;
    return changed;
  }

  GpsPosition Copy(SatelliteSystems& systems) const {
    std::lock_guard lock(m_Lock);
    systems = m_Systems;
    return m_Record;
  }

 private:
  static bool SameSky(const GpsPosition& a, const GpsPosition& b) {
    return ShowsFix(a.fixQuality) == ShowsFix(b.fixQuality) && a.satellitesInView == b.satellitesInView &&
           a.satelliteCount == b.satelliteCount && std::ranges::equal(a.inViewPrns, b.inViewPrns) &&
           std::ranges::equal(a.inViewSnr, b.inViewSnr) && std::ranges::equal(a.inViewElevation, b.inViewElevation) &&
           std::ranges::equal(a.inViewAzimuth, b.inViewAzimuth);
  }

  mutable std::mutex m_Lock;
  bool m_bStored = false;
  GpsPosition m_Record{};
  SatelliteSystems m_Systems{};
};
