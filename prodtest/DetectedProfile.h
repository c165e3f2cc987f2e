#pragma once
// Where `navlume-cli detect --write` puts the receivers it found in the device
// profile. A u-blox is the GPS of type 3 on the u-blox port (COM2:), an OEM615
// the GPS of type 4 on the OEM615 port (COM3:). A receiver that only talks
// NMEA takes the place of the PHS8 A-GPS (WWAN type 2, on COM9:): that is the
// one port to which the program sends nothing, no cold start, rate change or
// log command, in any mode (its export copy goes to another port). A receiver
// that speaks any talker but GP makes the decoder accept every talker.

#include <string>
#include <vector>

#include "device/ReceiverProbe.h"
#include "platform/DeviceProfile.h"

struct DetectedProfile {
  std::vector<platform::ProfileSetting> settings;
  // Receivers left out, or that the program will not read as they are, and why.
  std::vector<std::string> notes;
};

// The unit carries one GPS and one A-GPS receiver: the first of each kind in
// `results` is mapped.
DetectedProfile ProfileForReceivers(const std::vector<ProbeResult>& results);
