#pragma once
// NmeaParser: the decoder state of one receiver. Feed() cuts the received bytes
// into NMEA 0183 sentences, checks their checksums and hands GGA, RMC, GSA,
// GSV and GLL sentences of the accepted talkers (GP, or every constellation
// talker) to their decoders, which store stamped values; GetPosition() turns
// the fresh ones into a GpsPosition.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "nmea/GnssEpoch.h"
#include "nmea/GnssSystem.h"
#include "nmea/GpsPosition.h"
#include "nmea/LineBuffer.h"
#include "nmea/NmeaObserver.h"
#include "platform/Clock.h"

// Longest sentence NMEA 0183 allows, '$' to LF.
constexpr uint32_t kNmeaMaxSentence = 82;
// Receivers send longer ones (85-byte GGA with DGPS fields). An unfinished
// sentence up to this length stays whole in the buffer between calls.
constexpr uint32_t kNmeaLongestKeptSentence = 256;

// Maximum age the parse thread asks GetPosition for.
constexpr uint32_t kNmeaMaxAgeMs = 100000;

// A decoded value and the chunk time at which it was decoded; stamp 0 means
// never decoded or withdrawn.
template <typename T>
struct StampedValue {
  FILETIME stamp = 0;
  T value{};
};

// One stamped value per item of GpsPosition from utcTime to fixError.
struct PositionStore {
  StampedValue<SYSTEMTIME> utcTime;
  StampedValue<double> latitude;
  StampedValue<double> longitude;
  StampedValue<float> speed;
  StampedValue<float> heading;
  StampedValue<double> magneticVariation;
  StampedValue<float> altitudeSeaLevel;
  StampedValue<float> altitudeEllipsoid;
  StampedValue<uint32_t> fixQuality;
  StampedValue<uint32_t> fixType;
  StampedValue<uint32_t> selectionType;
  StampedValue<float> pdop;
  StampedValue<float> hdop;
  StampedValue<float> vdop;
  StampedValue<uint32_t> satelliteCount;
  StampedValue<SatelliteValues> usedPrns;
  StampedValue<uint32_t> satellitesInView;
  StampedValue<SatelliteValues> inViewPrns;
  StampedValue<SatelliteValues> inViewElevation;
  StampedValue<SatelliteValues> inViewAzimuth;
  StampedValue<SatelliteValues> inViewSnr;
  StampedValue<std::array<uint32_t, kGpsPositionErrorValues>> positionError;
  StampedValue<uint32_t> fixMode;
  StampedValue<uint32_t> fixError;
};

// The GSV cycle being collected: nothing reaches the store before its last message.
struct GsvCycle {
  uint16_t received = 0;  // number of the last message accepted; 0: no cycle open
  uint16_t total = 0;
  uint16_t inView = 0;
  uint16_t count = 0;  // satellites stored so far
  std::array<SkySatellite, kGsvMaxInView> satellites{};
  GnssSystem talker = GnssSystem::Gps;
  uint32_t signal = 0;  // NMEA 4.11 signal id; 0: not given
};

class FieldReader;
class NmeaParser;
template <typename T>
struct FieldValue;

int DecodeGga(NmeaParser& parser, FieldReader& reader);
int DecodeRmc(NmeaParser& parser, FieldReader& reader);
int DecodeGsa(NmeaParser& parser, FieldReader& reader);
int DecodeGsv(NmeaParser& parser, FieldReader& reader);
int DecodeGll(NmeaParser& parser, FieldReader& reader);

class NmeaParser {
 public:
  explicit NmeaParser(const LineBufferAllocator& allocator = HeapAllocator());
  virtual ~NmeaParser();
  NmeaParser(const NmeaParser&) = delete;
  NmeaParser& operator=(const NmeaParser&) = delete;

  // Decodes every complete sentence in the input so far; returns how many
  // were decoded (0 also when the buffer could not grow).
  int Feed(const char* bytes, uint32_t count);

  // Fills the record from the values no older than maxAgeMs. The caller sets
  // record.version and record.size first.
  void GetPosition(GpsPosition& record, uint32_t maxAgeMs) const;

  // The system of each in-view slot of `record`, which GetPosition filled:
  // Unknown where the record holds no in-view satellites or nothing told it.
  void GetInViewSystems(const GpsPosition& record, SatelliteSystems& systems) const;

  // GP alone (the default) or every constellation talker. Set before feeding:
  // it starts the epoch state afresh.
  void SetTalkers(NmeaTalkers talkers);
  // Forgets every report decoded so far, with the epoch state and a sentence
  // begun: what follows is read as from a receiver that just started.
  void ForgetReports();

  // Told what each accepted sentence says (nullptr: nobody); the observer outlives the parser's use.
  void SetObserver(NmeaObserver* observer) { m_pObserver = observer; }

  LineBuffer& GetLineBuffer() { return m_LineBuffer; }

  // `sentence` points at the '$', `length` counts up to and including the LF.
  // Changes the text in place. Non-zero when a decoder accepted the sentence.
  int DecodeSentence(char* sentence, uint32_t length);

 private:
  friend int DecodeGga(NmeaParser&, FieldReader&);
  friend int DecodeRmc(NmeaParser&, FieldReader&);
  friend int DecodeGsa(NmeaParser&, FieldReader&);
  friend int DecodeGsv(NmeaParser&, FieldReader&);
  friend int DecodeGll(NmeaParser&, FieldReader&);

  template <typename T>
  void Store(StampedValue<T>& item, const T& value) {
    item.stamp = m_ChunkTime;
    item.value = value;
  }

  // The talker's system when the setting accepts it.
  std::optional<GnssSystem> AcceptedTalker(char first, char second) const;
  // Every constellation: the cycle joins the epoch's sky, which the record shows.
  void StoreEpochSky(const GsvCycle& cycle);
  void StoreInView(const SkySelection& selection);
  void TellFix(const FieldValue<SYSTEMTIME>& time, uint32_t fractionMs, const FieldValue<SYSTEMTIME>* date, bool fix,
               const FieldValue<double>& latitude, const FieldValue<double>& longitude);
  void TellSky(const GsvCycle& cycle);

  PositionStore m_Store;
  LineBuffer m_LineBuffer;
  FILETIME m_ChunkTime = 0;  // read once per Feed; the stamp of all it decodes
  GsvCycle m_Gsv;

  NmeaTalkers m_Talkers = NmeaTalkers::Gps;
  GnssSystem m_SentenceSystem = GnssSystem::Gps;  // what the talker of the sentence being decoded names
  StampedValue<SatelliteSystems> m_InViewSystems;  // beside the store's in-view arrays, with their stamp
  EpochUsedSatellites m_EpochUsed;
  EpochSky m_EpochSky;
  NmeaObserver* m_pObserver = nullptr;
};

// Fills the record from the store's values no older than maxAgeMs (what
// NmeaParser::GetPosition does with its own store). The caller sets
// record.version and record.size first.
void FillPosition(const PositionStore& store, GpsPosition& record, uint32_t maxAgeMs);

// True when the stamp is set, not in the future and at most maxAgeMs old.
bool IsFresh(uint32_t maxAgeMs, FILETIME stamp);
bool IsFresh(uint32_t maxAgeMs, FILETIME stamp, FILETIME now);

// Checks the "*hh" tail of a sentence ('$' to LF) and ends the sentence's text
// with a NUL; false when it must not be decoded.
bool VerifyChecksum(char* sentence, uint32_t length);

// XOR of the bytes.
uint8_t NmeaChecksum(const char* bytes, size_t count);

// ddmm.mmmm / 100 to decimal degrees, and back; both always positive.
double NmeaToDegrees(double value);
double DegreesToNmea(double value);
