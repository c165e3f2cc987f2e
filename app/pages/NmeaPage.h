#pragma once
// "NMEA data" (dialog 102): the receiver's raw sentences, one list entry per
// line, the newest selected and in view, each echoed to the debug output.

#include <string_view>

#include "app/GPSPage.h"
#include "app/pages/logic/NmeaLines.h"

class CNmeaPage : public CGPSPage {
 public:
  CNmeaPage();

  bool OnInitDialog() override;
  // Device thread: the device's last batch of raw bytes joins the list.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  // Device thread (one at a time): cuts `bytes` into lines, echoes each
  // completed line and hands them to the UI thread. Nothing without window.
  void ReceiveText(CGPSDevice* device, const GpsPosition& record, std::string_view bytes);

 protected:
  void ShowGPSData(CGPSDevice* device, const GpsPosition& record) override;

 private:
  // A fast line fills the list in steps of at most this period: a person
  // cannot read faster, and each step repaints the whole list.
  static constexpr uint32_t kListStepMs = 100;

  CNmeaLineSplitter m_Splitter;  // device thread
  CNmeaLineQueue m_Pending;
};
