#include "sim/NmeaSentences.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <ctime>

#include "nmea/NmeaParser.h"

namespace sim {
namespace {

constexpr double kKilometresPerNauticalMile = 1.852;
constexpr size_t kSatellitesPerGsv = 4;
constexpr size_t kMaxGsvMessages = 9;
constexpr const char* kNoDop = "99.99";

std::string Format(const char* format, auto... values) {
  char text[128];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::tm Utc(const Epoch& epoch) {
  const std::time_t seconds = static_cast<std::time_t>(epoch.utcSeconds);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  return parts;
}

std::string Time(const Epoch& epoch) {
  const std::tm utc = Utc(epoch);
  return Format("%02d%02d%02d.%02d", utc.tm_hour, utc.tm_min, utc.tm_sec, epoch.hundredths);
}

std::string Date(const Epoch& epoch) {
  const std::tm utc = Utc(epoch);
  return Format("%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
}

// "ddmm.mmmm,N" (latitude) or "dddmm.mmmm,E" (longitude).
std::string Coordinate(double degrees, bool latitude, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const auto total = static_cast<long long>(std::llround(std::fabs(degrees) * 60.0 * scale));
  const auto perDegree = static_cast<long long>(60.0 * scale);
  const long long whole = total / perDegree;
  const long long rest = total % perDegree;
  const long long minutes = rest / static_cast<long long>(scale);
  const long long fraction = rest % static_cast<long long>(scale);
  const char hemisphere = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
  return Format(latitude ? "%02lld%02lld.%0*lld,%c" : "%03lld%02lld.%0*lld,%c", whole, minutes, decimals, fraction,
                hemisphere);
}

std::string Position(const Epoch& epoch, int decimals) {
  return Coordinate(epoch.latitude, true, decimals) + "," + Coordinate(epoch.longitude, false, decimals);
}

char ModeIndicator(const Epoch& epoch) {
  if (!epoch.Fixed()) return 'N';
  return epoch.quality == kFixDifferential ? 'D' : 'A';
}

// NMEA 4.10 signal ids of the signals a u-blox tracks by default.
constexpr int kSignalL1 = 1;        // GPS L1 C/A, GLONASS L1 OF, BeiDou B1I
constexpr int kSignalGalileoE1 = 7;  // Galileo E1

int SignalId(GnssSystem system) { return system == GnssSystem::Galileo ? kSignalGalileoE1 : kSignalL1; }

// A GSA with these used satellites; `tail` ends it (the NMEA 4.10 system id).
std::string Gsa(const Epoch& epoch, const std::string& talker, const std::vector<int>& used, const std::string& tail) {
  std::string body = talker + "GSA,A,";
  body += !epoch.Fixed() ? "1" : (epoch.UsedPrns().size() >= 4 ? "3" : "2");
  for (size_t slot = 0; slot < 12; ++slot) {
    body += ",";
    if (epoch.Fixed() && slot < used.size()) body += Format("%02d", used[slot]);
  }
  if (epoch.Fixed()) {
    body += Format(",%.2f,%.2f,%.2f", epoch.pdop, epoch.hdop, epoch.vdop);
  } else {
    body += std::string(",") + kNoDop + "," + kNoDop + "," + kNoDop;
  }
  return NmeaSentence(body + tail);
}

// The GSV cycle of these satellites; `tail` ends every message (the NMEA 4.10 signal id).
std::string Gsv(const std::vector<SatelliteView>& satellites, const std::string& talker, const std::string& tail) {
  const size_t inView = std::min(satellites.size(), kSatellitesPerGsv * kMaxGsvMessages);
  const size_t total = std::max<size_t>(1, (inView + kSatellitesPerGsv - 1) / kSatellitesPerGsv);
  std::string out;
  for (size_t message = 0; message < total; ++message) {
    std::string body = talker + Format("GSV,%zu,%zu,%02zu", total, message + 1, inView);
    for (size_t i = message * kSatellitesPerGsv; i < std::min(inView, (message + 1) * kSatellitesPerGsv); ++i) {
      const SatelliteView& s = satellites[i];
      body += Format(",%02d,%02d,%03d,", s.prn, s.elevation, s.azimuth);
      if (s.snr > 0) body += Format("%02d", s.snr);
    }
    out += NmeaSentence(body + tail);
  }
  return out;
}

// A modern u-blox tracking several systems, or one other than GPS (NMEA 4.10): GN for the solution,
// one GSA per system with its id, one GSV cycle per system under its own
// talker. Above 1 Hz the GSV cycles go out once a second, as such receivers
// are set up to keep within their line's rate.
std::string BuildMultiConstellationEpoch(const Scenario& scenario, const Epoch& epoch) {
  const std::string talker = SystemTalker(GnssSystem::Unknown);
  std::string out = BuildRmc(epoch, talker) + BuildVtg(epoch, talker) + BuildGga(epoch, talker);
  for (GnssSystem system : scenario.systems) out += BuildSystemGsa(epoch, system);
  if (epoch.hundredths == 0) {
    for (GnssSystem system : scenario.systems) out += BuildSystemGsv(epoch, system);
  }
  return out + BuildGll(epoch, talker);
}

}  // namespace

std::string NmeaSentence(std::string_view body) {
  return "$" + std::string(body) + Format("*%02X\r\n", NmeaChecksum(body.data(), body.size()));
}

std::string BuildGga(const Epoch& epoch, const std::string& talker, int decimals) {
  std::string body = talker + "GGA," + Time(epoch) + ",";
  if (!epoch.Fixed()) return NmeaSentence(body + ",,,,0,00,99.99,,,,,,");
  body += Position(epoch, decimals);
  body += Format(",%d,%02zu,%.2f,%.1f,M,%.1f,M,", epoch.quality, epoch.UsedPrns().size(), epoch.hdop, epoch.altitude,
                 epoch.geoidSeparation);
  body += epoch.quality == kFixDifferential ? "1.0,0001" : ",";
  return NmeaSentence(body);
}

std::string BuildRmc(const Epoch& epoch, const std::string& talker) {
  std::string body = talker + "RMC," + Time(epoch) + ",";
  if (!epoch.Fixed()) return NmeaSentence(body + "V,,,,,,," + Date(epoch) + ",,,N");
  body += "A," + Position(epoch, 4);
  body += Format(",%.3f,%.2f,", epoch.speedKnots, epoch.courseDegrees) + Date(epoch) + ",,," + ModeIndicator(epoch);
  return NmeaSentence(body);
}

std::string BuildGsa(const Epoch& epoch, const std::string& talker) { return Gsa(epoch, talker, epoch.UsedPrns(), ""); }

std::string BuildGsv(const Epoch& epoch, const std::string& talker) { return Gsv(epoch.satellites, talker, ""); }

std::string BuildSystemGsa(const Epoch& epoch, GnssSystem system) {
  return Gsa(epoch, SystemTalker(GnssSystem::Unknown), epoch.UsedPrns(system), Format(",%d", SystemId(system)));
}

std::string BuildSystemGsv(const Epoch& epoch, GnssSystem system) {
  std::vector<SatelliteView> satellites;
  std::copy_if(epoch.satellites.begin(), epoch.satellites.end(), std::back_inserter(satellites),
               [&](const SatelliteView& satellite) { return satellite.system == system; });
  return Gsv(satellites, SystemTalker(system), Format(",%X", SignalId(system)));
}

std::string BuildGll(const Epoch& epoch, const std::string& talker) {
  if (!epoch.Fixed()) return NmeaSentence(talker + "GLL,,,,," + Time(epoch) + ",V,N");
  return NmeaSentence(talker + "GLL," + Position(epoch, 4) + "," + Time(epoch) + ",A," + ModeIndicator(epoch));
}

std::string BuildVtg(const Epoch& epoch, const std::string& talker) {
  if (!epoch.Fixed()) return NmeaSentence(talker + "VTG,,,,,,,,,N");
  return NmeaSentence(talker + Format("VTG,%.2f,T,,M,%.3f,N,%.3f,K,%c", epoch.courseDegrees, epoch.speedKnots,
                                      epoch.speedKnots * kKilometresPerNauticalMile, ModeIndicator(epoch)));
}

std::string BuildZda(const Epoch& epoch, const std::string& talker) {
  const std::tm utc = Utc(epoch);
  return NmeaSentence(talker + "ZDA," + Time(epoch) +
                      Format(",%02d,%02d,%04d,00,00", utc.tm_mday, utc.tm_mon + 1, utc.tm_year + 1900));
}

std::string BuildSentences(const std::string& type, const Epoch& epoch, const std::string& talker) {
  if (type == "GGA") return BuildGga(epoch, talker);
  if (type == "RMC") return BuildRmc(epoch, talker);
  if (type == "GSA") return BuildGsa(epoch, talker);
  if (type == "GSV") return BuildGsv(epoch, talker);
  if (type == "GLL") return BuildGll(epoch, talker);
  if (type == "VTG") return BuildVtg(epoch, talker);
  if (type == "ZDA") return BuildZda(epoch, talker);
  return {};
}

std::string BuildEpoch(const Scenario& scenario, const Epoch& epoch) {
  std::string out = scenario.GpsOnly() ? BuildGga(epoch, scenario.talker) + BuildRmc(epoch, scenario.talker) +
                                              BuildGsa(epoch, scenario.talker) + BuildGsv(epoch, scenario.talker) +
                                              BuildGll(epoch, scenario.talker)
                                        : BuildMultiConstellationEpoch(scenario, epoch);
  for (const auto& extra : scenario.extraSentences) {
    out += extra.body.empty() ? BuildSentences(extra.type, epoch, extra.talker) : NmeaSentence(extra.body);
  }
  return out;
}

}  // namespace sim
