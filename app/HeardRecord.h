#pragma once
// The last record a page heard of, with the systems of its in-view slots:
// stored on the device thread, copied on the UI thread for a paint.

#include <mutex>

#include "device/GPSDevice.h"
#include "nmea/GnssSystem.h"

class CHeardRecord {
 public:
  // Device thread, right after `device` published `record` with its systems.
  void Store(CGPSDevice* device, const GpsPosition& record) {
    SatelliteSystems systems{};
    if (device != nullptr) device->CopyPosition(systems);
    std::lock_guard lock(m_Lock);
    m_Record = record;
    m_Systems = systems;
  }

  GpsPosition Copy(SatelliteSystems& systems) const {
    std::lock_guard lock(m_Lock);
    systems = m_Systems;
    return m_Record;
  }

 private:
  mutable std::mutex m_Lock;
  GpsPosition m_Record{};
  SatelliteSystems m_Systems{};
};
