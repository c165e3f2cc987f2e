#pragma once
// What is connected to a serial device. The probe only listens and polls: at
// each rate it listens for NMEA with valid checksums, then asks for the
// receiver's version the two ways a u-blox (a UBX MON-VER poll) and an OEM615
// ("log versiona once") answer. Nothing that changes a receiver's setting
// (configuration, reset, rate change, saved setting) is ever sent, and the
// host side's line settings are put back as they were.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/PortHolders.h"

enum class ReceiverKind { Ublox, Oem615, Nmea, Silent, Unopenable, Busy };

// "ublox", "oem615", "nmea", "silent", "unopenable", "busy".
const char* ReceiverKindName(ReceiverKind kind);

struct ProbeResult {
  std::string path;
  ReceiverKind kind = ReceiverKind::Silent;
  uint32_t baudRate = 0;             // the rate it talks or answers at; 0 when none
  std::vector<std::string> talkers;  // NMEA talkers heard ("GN", "GP"), in name order
  std::string version;               // the receiver's version text, when it answered
  std::string reason;                // why the device could not be probed
  PortHolder holder;                 // Busy: the other program that holds the device open
};

// The rates listened at, in this order: the receivers' factory rates first.
constexpr uint32_t kProbeRates[] = {9600, 38400, 115200, 4800};

// A device that another program holds open is Busy and is not probed.
// `stop`, when it becomes true, ends the probe at its next wait (within one
// listening time); the device is then reported as unopenable.
ProbeResult ProbeReceiver(const std::string& path, const std::atomic<bool>* stop = nullptr);
// Every device at the same time, one thread each; the results in the order of `paths`.
std::vector<ProbeResult> ProbeReceivers(const std::vector<std::string>& paths, const std::atomic<bool>* stop = nullptr);
