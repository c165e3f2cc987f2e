#pragma once
// "Settings" (dialog 109): the start option for the next start, saving and
// exporting the NMEA stream, and the external receiver's cold start. Each
// choice is written to the registry at once and applies after a restart.

#include "app/GPSPage.h"

class CPortConf;

class CSettingsPage : public CGPSPage {
 public:
  explicit CSettingsPage(CPortConf& conf);

  bool OnInitDialog() override;
  bool OnCommand(uint32_t wParam, intptr_t lParam) override;
  void OnGPSData(CGPSDevice*, GpsPosition) override {}

 private:
  void LoadReceiverOptions();
  void WriteCheckState(int ctrlId, std::string_view valueName, const char* message);
  void ChooseStartOption(int ctrlId);

  CPortConf& m_Conf;
};
