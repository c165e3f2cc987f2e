#include "device/ReceiverProbe.h"

#include <cerrno>
#include <charconv>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

#include "nmea/NmeaParser.h"
#include "nmea/NovatelFraming.h"
#include "nmea/UbxFraming.h"
#include "platform/Time.h"
#include "serial/ProbePort.h"

namespace {

// A 1 Hz receiver sends a whole second of output within this, however the window falls.
constexpr uint32_t kListenMs = 2000;
// After the first sentence: the rest of that second, for every talker it uses.
constexpr uint32_t kTalkerWindowMs = 1100;
constexpr uint32_t kAnswerMs = 1000;
constexpr uint32_t kWriteMs = 1000;

// The longest line kept: a NovAtel log's length is a 16-bit count of bytes,
// so no log is longer than 65535 (a VERSIONA of several components runs past
// 600); an NMEA sentence is far shorter.
constexpr size_t kLongestNovatelLog = 65535;
constexpr size_t kShortestSentence = 9;  // "$GPGGA*hh"
constexpr size_t kChecksumTail = 3;      // "*hh"
// The line end first closes whatever the UBX poll left on the receiver's command line.
constexpr std::string_view kNovatelVersionRequest = "\r\nlog versiona once\r\n";
constexpr std::string_view kNovatelVersionLog = "VERSIONA,";
// VERSIONA's data: the number of components, then per component its type,
// model, serial number, hardware version, firmware version ...
constexpr size_t kComponentHardwareField = 4, kComponentFirmwareField = 5;
constexpr const char* kVersionSeparator = ", ";

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

// The talker of a sentence ('$' to the checksum) whose checksum is right: ""
// for a proprietary sentence, nothing when it is not a valid sentence.
std::optional<std::string> SentenceTalker(std::string_view line) {
  if (line.size() < kShortestSentence || line.front() != '$') return std::nullopt;
  const size_t star = line.size() - kChecksumTail;
  if (line[star] != '*') return std::nullopt;
  unsigned sent = 0;
  const auto [end, error] = std::from_chars(line.data() + star + 1, line.data() + line.size(), sent, 16);
  if (error != std::errc() || end != line.data() + line.size() || sent != NmeaChecksum(line.data() + 1, star - 1))
    return std::nullopt;
  if (line[1] == 'P') return std::string();
  if (!IsUpper(line[1]) || !IsUpper(line[2])) return std::nullopt;
  return std::string(line.substr(1, 2));
}

void Append(std::string& text, std::string_view part) {
  if (part.empty()) return;
  if (!text.empty()) text += kVersionSeparator;
  text += part;
}

// The software and hardware versions and the extensions of a MON-VER payload.
std::string MonVerText(const std::vector<uint8_t>& payload) {
  const std::string_view all(reinterpret_cast<const char*>(payload.data()), payload.size());
  std::string text;
  auto field = [&](size_t at, size_t width) {
    const std::string_view padded = all.substr(std::min(at, all.size()), width);
    Append(text, padded.substr(0, padded.find('\0')));
  };
  field(0, kUbxMonVerSoftwareWidth);
  field(kUbxMonVerSoftwareWidth, kUbxMonVerHardwareWidth);
  for (size_t at = kUbxMonVerSoftwareWidth + kUbxMonVerHardwareWidth; at < all.size(); at += kUbxMonVerExtensionWidth)
    field(at, kUbxMonVerExtensionWidth);
  return text;
}

// The comma-separated fields of a NovAtel log's data, quotes removed.
std::vector<std::string> NovatelFields(std::string_view data) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (const char c : data) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  return fields;
}

// The first component's hardware and firmware versions of a VERSIONA log.
std::string VersionaText(std::string_view log) {
  const size_t data = log.find(';');
  const std::vector<std::string> fields =
      NovatelFields(log.substr(data == std::string_view::npos ? log.size() : data + 1));
  std::string text;
  for (const size_t field : {kComponentHardwareField, kComponentFirmwareField})
    if (field < fields.size()) Append(text, fields[field]);
  return text;
}

// Reads a receiver's output: NMEA sentences with valid checksums, UBX
// frames and NovAtel ASCII logs.
class CStreamScanner {
 public:
  void Feed(std::string_view bytes) {
    m_bAnyBytes = m_bAnyBytes || !bytes.empty();
    for (const UbxFrame& frame : m_Ubx.Feed(bytes))
      if (frame.msgClass == kUbxClassMon && frame.msgId == kUbxIdMonVer) m_UbloxVersion = MonVerText(frame.payload);
    for (const char c : bytes) TakeChar(c);
  }

  bool HeardAnything() const { return m_bAnyBytes; }
  bool HeardNmea() const { return m_bNmea; }
  const std::set<std::string>& Talkers() const { return m_Talkers; }
  const std::optional<std::string>& UbloxVersion() const { return m_UbloxVersion; }
  const std::optional<std::string>& NovatelVersion() const { return m_NovatelVersion; }

 private:
  void TakeChar(char c) {
    if (c == '$' || c == '#') {
      m_Line.assign(1, c);
    } else if (c == '\n') {
      if (!m_Line.empty() && m_Line.back() == '\r') m_Line.pop_back();
      TakeLine(m_Line);
      m_Line.clear();
    } else if (!m_Line.empty()) {
      m_Line.push_back(c);
      if (m_Line.size() > kLongestNovatelLog) m_Line.clear();
    }
  }

  void TakeLine(std::string_view line) {
    if (const std::optional<std::string> talker = SentenceTalker(line)) {
      m_bNmea = true;
      if (!talker->empty()) m_Talkers.insert(*talker);
    } else if (const std::optional<std::string_view> log = UnframeNovatelAscii(line)) {
      if (log->substr(0, kNovatelVersionLog.size()) == kNovatelVersionLog) m_NovatelVersion = VersionaText(*log);
    }
  }

  UbxFramer m_Ubx;
  std::string m_Line;  // from its '$' or '#'
  bool m_bAnyBytes = false;
  bool m_bNmea = false;
  std::set<std::string> m_Talkers;
  std::optional<std::string> m_UbloxVersion;
  std::optional<std::string> m_NovatelVersion;
};

std::string OpenFailureReason(int error) {
  switch (error) {
    case EWOULDBLOCK:
    case EBUSY: return "busy: another program has it open";
    case EACCES:
    case EPERM: return "permission denied: join the group that owns it (usually dialout)";
    case ENOTTY: return "not a serial device";
    default: return std::error_code(error, std::generic_category()).message();
  }
}

class CReceiverProbe {
 public:
  CReceiverProbe(const std::string& path, const std::atomic<bool>* stop) : m_pStop(stop) { m_Result.path = path; }

  ProbeResult Run() {
    if (const std::optional<PortHolder> holder = OtherPortHolder(m_Result.path)) {
      m_Result.kind = ReceiverKind::Busy;
      m_Result.holder = *holder;
      return m_Result;
    }
    if (const int error = m_Port.Open(m_Result.path); error != 0) return Unopenable(OpenFailureReason(error));
    if (!FindTalkingRate() || (m_Result.baudRate == 0 && !FindAnsweringRate())) return Unopenable(m_Failure);
    m_Port.Close();
    return m_Result;
  }

 private:
  ProbeResult Unopenable(const std::string& reason) {
    m_Port.Close();
    ProbeResult result;
    result.path = m_Result.path;
    result.kind = ReceiverKind::Unopenable;
    result.reason = reason;
    return result;
  }

  // Listens at each rate until one carries NMEA, then asks what sends it.
  // False when the device failed.
  bool FindTalkingRate() {
    for (const uint32_t rate : kProbeRates) {
      if (!Switch(rate) || !Listen(kListenMs, [this] { return m_Scanner.HeardNmea(); })) return false;
      if (m_Scanner.HeardNmea()) {
        if (!Listen(kTalkerWindowMs, [] { return false; })) return false;
        m_Result.baudRate = rate;
        m_Result.kind = ReceiverKind::Nmea;
        const bool asked = Ask();
        m_Result.talkers.assign(m_Scanner.Talkers().begin(), m_Scanner.Talkers().end());
        return asked;
      }
      // Any output shows at any rate, if only as garbage: a quiet line is quiet at every rate.
      if (!m_Scanner.HeardAnything()) return true;
    }
    return true;
  }

  // A receiver that sends nothing of itself may still answer: polls at each rate.
  bool FindAnsweringRate() {
    for (const uint32_t rate : kProbeRates) {
      if (!Switch(rate) || !Ask()) return false;
      if (m_Result.kind != ReceiverKind::Silent) {
        m_Result.baudRate = rate;
        return true;
      }
    }
    return true;
  }

  bool Switch(uint32_t rate) {
    m_Scanner = CStreamScanner();
    if (const int error = m_Port.SetBaudRate(rate); error != 0) {
      m_Failure = "cannot listen at " + std::to_string(rate) + " baud: " + OpenFailureReason(error);
      return false;
    }
    return true;
  }

  // The version polls, each made once; sets the kind of a receiver that answers.
  bool Ask() {
    const std::vector<uint8_t> monVer = BuildUbxMessage(kUbxClassMon, kUbxIdMonVer);
    const std::string_view monVerPoll(reinterpret_cast<const char*>(monVer.data()), monVer.size());
    if (!Poll(monVerPoll, [this] { return m_Scanner.UbloxVersion().has_value(); })) return false;
    if (m_Scanner.UbloxVersion()) {
      m_Result.kind = ReceiverKind::Ublox;
      m_Result.version = *m_Scanner.UbloxVersion();
      return true;
    }
    if (!Poll(kNovatelVersionRequest, [this] { return m_Scanner.NovatelVersion().has_value(); })) return false;
    if (m_Scanner.NovatelVersion()) {
      m_Result.kind = ReceiverKind::Oem615;
      m_Result.version = *m_Scanner.NovatelVersion();
    }
    return true;
  }

  bool Poll(std::string_view request, const std::function<bool()>& answered) {
    if (!m_Port.Write(request, Deadline(kWriteMs))) {
      m_Failure = "cannot write to it";
      return false;
    }
    return Listen(kAnswerMs, answered);
  }

  // Takes what arrives until `done` holds or `ms` pass; false when the device went away.
  bool Listen(uint32_t ms, const std::function<bool()>& done) {
    const CProbePort::Deadline deadline = Deadline(ms);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      if (m_pStop != nullptr && m_pStop->load()) {
        m_Failure = "stopped before it was identified";
        return false;
      }
      std::string received;
      if (!m_Port.Read(received, deadline)) {
        m_Failure = "it went away while it was probed";
        return false;
      }
      m_Scanner.Feed(received);
    }
    return true;
  }

  static CProbePort::Deadline Deadline(uint32_t ms) {
    return std::chrono::steady_clock::now() + platform::ScaledDuration(ms);
  }

  const std::atomic<bool>* m_pStop;
  CProbePort m_Port;
  CStreamScanner m_Scanner;
  ProbeResult m_Result;
  std::string m_Failure;
};

}  // namespace

const char* ReceiverKindName(ReceiverKind kind) {
  switch (kind) {
    case ReceiverKind::Ublox: return "ublox";
    case ReceiverKind::Oem615: return "oem615";
    case ReceiverKind::Nmea: return "nmea";
    case ReceiverKind::Silent: return "silent";
    case ReceiverKind::Unopenable: return "unopenable";
    case ReceiverKind::Busy: return "busy";
  }
  return "silent";
}

ProbeResult ProbeReceiver(const std::string& path, const std::atomic<bool>* stop) {
  return CReceiverProbe(path, stop).Run();
}

std::vector<ProbeResult> ProbeReceivers(const std::vector<std::string>& paths, const std::atomic<bool>* stop) {
  std::vector<ProbeResult> results(paths.size());
  std::vector<std::thread> probes;
  for (size_t i = 0; i < paths.size(); ++i) {
    try {
      probes.emplace_back([&results, &paths, i, stop] { results[i] = ProbeReceiver(paths[i], stop); });
    } catch (const std::system_error&) {
      results[i] = ProbeReceiver(paths[i], stop);  // no thread to spare: this one waits its turn
    }
  }
  for (std::thread& probe : probes) probe.join();
  return results;
}
