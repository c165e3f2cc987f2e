#pragma once
// What a page implements to hear about every record a device publishes.

#include "nmea/GpsPosition.h"

class CGPSDevice;

class CGPSListener {
 public:
  virtual ~CGPSListener() = default;
  // Called on the device's worker thread with a copy of the record; a slow
  // listener delays the next record, it cannot change the device's.
  virtual void OnGPSData(CGPSDevice* device, GpsPosition record) = 0;

  CGPSDevice* m_pDevice = nullptr;  // set by CGPSDevice::AddListener
};
