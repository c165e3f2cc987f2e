#include "sim/UbloxReceiver.h"

#include <algorithm>
#include <cstdio>

#include "sim/NmeaSentences.h"

namespace sim {
namespace {

constexpr uint32_t kUbloxBootBaud = 9600;
constexpr uint8_t kUartPort = 1;
constexpr size_t kCfgRstLength = 4;
constexpr size_t kCfgPrtLength = 20;
constexpr const char* kSoftwareVersion = "1.00 (59842)";
constexpr const char* kHardwareVersion = "00070000";
constexpr const char* kVersionExtensions[] = {"PROTVER 14.00", "GPS;SBAS;GLO;QZSS"};

uint32_t Le32(const std::vector<uint8_t>& payload, size_t at) {
  return payload[at] | (payload[at + 1] << 8) | (payload[at + 2] << 16) | (static_cast<uint32_t>(payload[at + 3]) << 24);
}

// The mode word of CFG-PRT: character length, parity and stop bits.
bool ModeFormat(uint32_t mode, LineFormat& format) {
  static const uint8_t kDataBits[] = {5, 6, 7, 8};
  format.dataBits = kDataBits[(mode >> 6) & 3];
  const uint32_t parity = (mode >> 9) & 7;
  if ((parity & 6) == 4) {
    format.parity = 'N';
  } else if (parity <= 1) {
    format.parity = parity == 0 ? 'E' : 'O';
  } else {
    return false;
  }
  const uint32_t stop = (mode >> 12) & 3;
  if (stop != 0 && stop != 2) return false;  // 1.5 and 0.5 stop bits are not simulated
  format.stopBits = stop == 0 ? 1 : 2;
  return true;
}

void PutText(std::vector<uint8_t>& payload, const std::string& text, size_t width) {
  std::vector<uint8_t> field(width, 0);
  std::copy_n(text.begin(), std::min(text.size(), width - 1), field.begin());
  payload.insert(payload.end(), field.begin(), field.end());
}

std::vector<uint8_t> MonVerPayload() {
  std::vector<uint8_t> payload;
  PutText(payload, kSoftwareVersion, kUbxMonVerSoftwareWidth);
  PutText(payload, kHardwareVersion, kUbxMonVerHardwareWidth);
  for (const char* extension : kVersionExtensions) PutText(payload, extension, kUbxMonVerExtensionWidth);
  return payload;
}

std::string Hex2(uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

}  // namespace

CUbloxReceiver::CUbloxReceiver(Scenario scenario, PowerMode power)
    : CSimReceiver(std::move(scenario), power, kUbloxBootBaud) {}

CUbloxReceiver::~CUbloxReceiver() { Stop(); }

void CUbloxReceiver::OnPowerOn() {
  m_Framer.Reset();
  Send(NmeaSentence("GPTXT,01,01,02,u-blox ag - www.u-blox.com") +
       NmeaSentence("GPTXT,01,01,02,HW  UBX-G70xx   00070000 FF7FFFFFo") +
       NmeaSentence("GPTXT,01,01,02,ROM CORE 1.00 (59842) Jun 27 2012 17:43:52"));
}

void CUbloxReceiver::OnHostBytes(const std::string& bytes) {
  for (const UbxFrame& frame : m_Framer.Feed(bytes)) OnFrame(frame);
}

void CUbloxReceiver::OnFrame(const UbxFrame& frame) {
  if (frame.msgClass == kUbxClassMon && frame.msgId == kUbxIdMonVer && frame.payload.empty()) {
    RecordCommand("MON-VER");
    Send(UbxBytes(kUbxClassMon, kUbxIdMonVer, MonVerPayload()));
    return;
  }
  if (frame.msgClass != kUbxClassCfg) {
    RecordCommand("UBX " + Hex2(frame.msgClass) + "-" + Hex2(frame.msgId));
    return;
  }
  if (frame.msgId == kUbxIdCfgRst && frame.payload.size() == kCfgRstLength) {
    RecordCommand("CFG-RST");
    Send(UbxAck(frame.msgClass, frame.msgId));
    const bool hotStart = frame.payload[0] == 0 && frame.payload[1] == 0;
    if (!hotStart) ColdStart();
    return;
  }
  if (frame.msgId == kUbxIdCfgPrt && frame.payload.size() == kCfgPrtLength) {
    const uint8_t port = frame.payload[0];
    LineFormat format;
    format.baud = Le32(frame.payload, 8);
    const bool valid = IsSupportedBaud(format.baud) && ModeFormat(Le32(frame.payload, 4), format);
    RecordCommand(port == kUartPort ? "CFG-PRT " + std::to_string(format.baud) : "CFG-PRT port " + std::to_string(port));
    Send(UbxAck(frame.msgClass, frame.msgId, valid || port != kUartPort));
    if (valid && port == kUartPort) SetLine(format);  // after the acknowledgement went out at the old rate
    return;
  }
  RecordCommand("UBX " + Hex2(frame.msgClass) + "-" + Hex2(frame.msgId));
  Send(UbxAck(frame.msgClass, frame.msgId));
}

std::string CUbloxReceiver::EpochOutput(const Epoch& epoch) { return BuildEpoch(GetScenario(), epoch); }

}  // namespace sim
