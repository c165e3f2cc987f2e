#pragma once
// One client connection to gpsd: watches its JSON reports and keeps the values
// of the newest TPV and SKY reports as stamped values, so that a record asked
// for later carries only what is young enough. When gpsd goes away the values
// are dropped, the loss is logged once, and the connection is tried again on
// later requests after a pause that doubles up to a limit.

#include <gps.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "device/GpsApi.h"
#include "nmea/NmeaParser.h"

class CGpsdConnection {
 public:
  CGpsdConnection(std::string host, uint16_t port);
  ~CGpsdConnection();
  CGpsdConnection(const CGpsdConnection&) = delete;
  CGpsdConnection& operator=(const CGpsdConnection&) = delete;

  // One attempt to reach gpsd and start watching; false when none answers.
  bool Connect();
  // Takes every report that has arrived, then fills the record (version and
  // size set by the caller) with the values at most maxAgeMs old.
  void GetPosition(GpsPosition& record, uint32_t maxAgeMs);
  void GetDeviceState(GpsDeviceState& state) const;

 private:
  bool Open();
  void Shut();
  void TakeReports();
  void TakeReport(const char* message);
  void StoreTpv(FILETIME now);
  void StoreSky(FILETIME now, bool listsSatellites);
  void OnLost();
  void RetryWhenDue();

  const std::string m_Host;
  const std::string m_Port;

  mutable std::mutex m_Lock;
  gps_data_t m_Data{};
  bool m_bOpen = false;
  bool m_bReceived = false;  // data arrived since the connection was made
  PositionStore m_Store;
  FILETIME m_LastData = 0;
  uint64_t m_NextAttemptMs = 0;  // scaled time of the next reconnection attempt
  uint32_t m_RetryPauseMs = 0;
};
