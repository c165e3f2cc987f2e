#pragma once
// "Main" (dialog 101): version, UTC time, position in degrees and minutes, the
// fix with the time it took, satellites used and the three DOP ratings.

#include <mutex>

#include "app/GPSPage.h"
#include "app/pages/logic/MainPageText.h"

class CMainPage : public CGPSPage {
 public:
  CMainPage();

  bool OnInitDialog() override;
  void OnTimer(int timerId) override;
  // Device thread: makes the texts (noting a gained or lost fix at once) and
  // hands them to the UI thread when they changed.
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;

  static constexpr int kNoFixTimer = 1;
  static constexpr uint32_t kNoFixTimerPeriodMs = 1000;

 protected:
  void ShowGPSData(CGPSDevice* device, const GpsPosition& record) override;

 private:
  void ShowReceiverPicture();

  CFixClock m_FixClock;
  std::mutex m_TextsLock;
  MainPageTexts m_Texts;  // the newest, for the UI thread
};
