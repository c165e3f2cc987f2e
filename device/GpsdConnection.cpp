#include "device/GpsdConnection.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/Debug.h"
#include "platform/Time.h"

namespace {
constexpr size_t kMessageBufferSize = 16384;  // one JSON report; a full SKY is a few KB
constexpr uint32_t kFirstRetryPauseMs = 1000;
constexpr uint32_t kLongestRetryPauseMs = 30000;
// A host that does not answer a connection within this time counts as down,
// so that a request never blocks for the system's long connect time-out.
constexpr uint32_t kConnectTimeoutMs = 500;
constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
constexpr const char* kTpvClass = "\"class\":\"TPV\"";
constexpr const char* kSkyClass = "\"class\":\"SKY\"";
constexpr const char* kSatelliteList = "\"satellites\":";

template <typename T>
void Store(StampedValue<T>& item, const T& value, FILETIME now) {
  item.stamp = now;
  item.value = value;
}

bool HasFlag(const gps_data_t& data, gps_mask_t flag) { return (data.set & flag) != 0; }

uint32_t Degrees(double value) {
  return std::isfinite(value) && value > 0 ? static_cast<uint32_t>(std::lround(value)) : 0;
}

bool ToSystemTime(const timespec& time, SYSTEMTIME& out) {
  std::tm utc{};
  const time_t seconds = time.tv_sec;
  if (seconds <= 0 || gmtime_r(&seconds, &utc) == nullptr) return false;
  out.wYear = static_cast<uint16_t>(utc.tm_year + 1900);
  out.wMonth = static_cast<uint16_t>(utc.tm_mon + 1);
  out.wDayOfWeek = static_cast<uint16_t>(utc.tm_wday);
  out.wDay = static_cast<uint16_t>(utc.tm_mday);
  out.wHour = static_cast<uint16_t>(utc.tm_hour);
  out.wMinute = static_cast<uint16_t>(utc.tm_min);
  out.wSecond = static_cast<uint16_t>(utc.tm_sec);
  out.wMilliseconds = static_cast<uint16_t>(time.tv_nsec / 1000000);
  return true;
}

// Whether something accepts connections at host:port within the time-out.
bool Answers(const std::string& host, const std::string& port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return false;
  bool answered = false;
  for (addrinfo* address = found; address != nullptr && !answered; address = address->ai_next) {
    const int fd = socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (connect(fd, address->ai_addr, address->ai_addrlen) == 0) {
      answered = true;
    } else if (errno == EINPROGRESS) {
      pollfd out{fd, POLLOUT, 0};
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(platform::ScaledDuration(kConnectTimeoutMs));
      int error = 0;
      socklen_t length = sizeof error;
      answered = poll(&out, 1, static_cast<int>(wait.count()) + 1) == 1 &&
                 getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    close(fd);
  }
  freeaddrinfo(found);
  return answered;
}
}  // namespace

CGpsdConnection::CGpsdConnection(std::string host, uint16_t port)
    : m_Host(std::move(host)), m_Port(std::to_string(port)) {}

CGpsdConnection::~CGpsdConnection() {
  std::lock_guard lock(m_Lock);
  Shut();
}

bool CGpsdConnection::Connect() {
  std::lock_guard lock(m_Lock);
  return Open();
}

bool CGpsdConnection::Open() {
  if (!Answers(m_Host, m_Port)) return false;
  if (gps_open(m_Host.c_str(), m_Port.c_str(), &m_Data) != 0) return false;
  if (gps_stream(&m_Data, WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
    gps_close(&m_Data);
    return false;
  }
  m_bOpen = true;
  m_bReceived = false;
  return true;
}

void CGpsdConnection::Shut() {
  if (!m_bOpen) return;
  gps_close(&m_Data);
  m_bOpen = false;
}

void CGpsdConnection::GetPosition(GpsPosition& record, uint32_t maxAgeMs) {
  std::lock_guard lock(m_Lock);
  if (m_bOpen) {
    TakeReports();
  } else {
    RetryWhenDue();
  }
  FillPosition(m_Store, record, maxAgeMs);
}

// Only a positive count from gps_read() is a report: 0 means nothing whole has
// arrived yet (the start of a line stays with libgps, and gps_waiting() keeps
// saying so), so the rest waits for the next poll.
void CGpsdConnection::TakeReports() {
  char message[kMessageBufferSize];
  while (m_bOpen && gps_waiting(&m_Data, 0)) {
    const int read = gps_read(&m_Data, message, sizeof message - 1);
    if (read < 0) {
      OnLost();
      return;
    }
    if (read == 0) return;
    message[sizeof message - 1] = '\0';
    TakeReport(message);
  }
}

// The report's class decides what it carries: libgps leaves the set bits of
// the previous TPV in place when a SKY report arrives.
void CGpsdConnection::TakeReport(const char* message) {
  const FILETIME now = platform::GetUtcFileTime();
  if (std::strstr(message, kTpvClass) != nullptr) {
    StoreTpv(now);
  } else if (std::strstr(message, kSkyClass) != nullptr) {
    StoreSky(now, std::strstr(message, kSatelliteList) != nullptr);
  } else {
    return;
  }
  m_LastData = now;
  m_bReceived = true;
}

void CGpsdConnection::StoreTpv(FILETIME now) {
  const gps_fix_t& fix = m_Data.fix;
  PositionStore& s = m_Store;
  SYSTEMTIME utc{};
  if (HasFlag(m_Data, TIME_SET) && ToSystemTime(fix.time, utc)) Store(s.utcTime, utc, now);
  if (!HasFlag(m_Data, MODE_SET)) return;
  // A plain fix comes with status 0: the mode alone tells whether there is one.
  const bool fixed = fix.mode >= MODE_2D;
  const uint32_t quality = !fixed ? kGpsFixQualityUnknown
                           : fix.status == STATUS_DGPS_FIX ? kGpsFixQualityDgps
                                                           : kGpsFixQualityGps;
  Store(s.fixQuality, quality, now);
  Store(s.fixType, fix.mode == MODE_3D ? kGpsFix3D : fix.mode == MODE_2D ? kGpsFix2D : kGpsFixUnknown, now);
  if (!fixed) return;
  if (HasFlag(m_Data, LATLON_SET) && std::isfinite(fix.latitude) && std::isfinite(fix.longitude)) {
    Store(s.latitude, fix.latitude, now);
    Store(s.longitude, fix.longitude, now);
  }
  if (HasFlag(m_Data, SPEED_SET) && std::isfinite(fix.speed))
    Store(s.speed, static_cast<float>(fix.speed * kKnotsPerMetrePerSecond), now);
  if (HasFlag(m_Data, TRACK_SET) && std::isfinite(fix.track)) Store(s.heading, static_cast<float>(fix.track), now);
  // gpsd reports easterly variation as positive, as the record does.
  if (std::isfinite(fix.magnetic_var)) Store(s.magneticVariation, fix.magnetic_var, now);
  if (HasFlag(m_Data, ALTITUDE_SET) && std::isfinite(fix.altMSL))
    Store(s.altitudeSeaLevel, static_cast<float>(fix.altMSL), now);
  if (std::isfinite(fix.geoid_sep)) Store(s.altitudeEllipsoid, static_cast<float>(fix.geoid_sep), now);
}

void CGpsdConnection::StoreSky(FILETIME now, bool listsSatellites) {
  PositionStore& s = m_Store;
  // Unknown dilutions come as NaN and stay out of the record.
  if (std::isfinite(m_Data.dop.pdop)) Store(s.pdop, static_cast<float>(m_Data.dop.pdop), now);
  if (std::isfinite(m_Data.dop.hdop)) Store(s.hdop, static_cast<float>(m_Data.dop.hdop), now);
  if (std::isfinite(m_Data.dop.vdop)) Store(s.vdop, static_cast<float>(m_Data.dop.vdop), now);
  // A SKY report without its list leaves the satellites of the last one as they were.
  if (!listsSatellites || !HasFlag(m_Data, SATELLITE_SET)) return;

  SatelliteValues used{}, prn{}, elevation{}, azimuth{}, snr{};
  uint32_t usedCount = 0, inView = 0;
  const int visible = std::clamp(m_Data.satellites_visible, 0, MAXCHANNELS);
  for (int i = 0; i < visible; ++i) {
    const satellite_t& satellite = m_Data.skyview[i];
    if (satellite.PRN <= 0) continue;
    if (satellite.used && usedCount < kGpsMaxSatellites) used[usedCount++] = static_cast<uint32_t>(satellite.PRN);
    if (inView == kGpsMaxSatellites) continue;
    prn[inView] = static_cast<uint32_t>(satellite.PRN);
    elevation[inView] = Degrees(satellite.elevation);
    azimuth[inView] = Degrees(satellite.azimuth);
    snr[inView] = Degrees(satellite.ss);
    ++inView;
  }
  Store(s.satelliteCount, usedCount, now);
  Store(s.usedPrns, used, now);
  Store(s.satellitesInView, inView, now);
  Store(s.inViewPrns, prn, now);
  Store(s.inViewElevation, elevation, now);
  Store(s.inViewAzimuth, azimuth, now);
  Store(s.inViewSnr, snr, now);
}

void CGpsdConnection::OnLost() {
  Shut();
  m_Store = PositionStore{};
  m_RetryPauseMs = kFirstRetryPauseMs;
  m_NextAttemptMs = platform::ScaledNowMs() + m_RetryPauseMs;
  platform::DebugPrint("[GPS] Lost the connection to gpsd at %s:%s\r\n", m_Host.c_str(), m_Port.c_str());
}

void CGpsdConnection::RetryWhenDue() {
  if (platform::ScaledNowMs() < m_NextAttemptMs) return;
  if (Open()) {
    platform::DebugPrint("[GPS] Connected to gpsd at %s:%s again\r\n", m_Host.c_str(), m_Port.c_str());
    return;
  }
  m_RetryPauseMs = std::min(m_RetryPauseMs * 2, kLongestRetryPauseMs);
  m_NextAttemptMs = platform::ScaledNowMs() + m_RetryPauseMs;
}

void CGpsdConnection::GetDeviceState(GpsDeviceState& state) const {
  std::lock_guard lock(m_Lock);
  state.serviceState = m_bOpen ? kGpsServiceOn : kGpsServiceOff;
  state.deviceState = m_bOpen && m_bReceived ? kGpsServiceOn : kGpsServiceOff;
  state.lastDataReceived = {static_cast<uint32_t>(m_LastData), static_cast<uint32_t>(m_LastData >> 32)};
  std::snprintf(state.server, sizeof state.server, "%s:%s", m_Host.c_str(), m_Port.c_str());
}
