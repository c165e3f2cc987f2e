#pragma once
// "PRD Settings" (dialog 112): shows the production configuration of
// CPrdConfigModel and writes the test configuration file when the sheet is
// accepted. A typed pass level that is refused keeps the sheet open on this
// page with the text selected.

#include "app/GPSPage.h"
#include "prodtest/PrdConfigModel.h"

class CPortConf;

class CPrdConfig : public CGPSPage {
 public:
  explicit CPrdConfig(CPortConf& conf);

  bool OnInitDialog() override;
  bool OnCommand(uint32_t wParam, intptr_t lParam) override;
  void OnGPSData(CGPSDevice* device, GpsPosition record) override;
  void OnApply() override;
  // Apply: false (the sheet stays open) when OnApply refused a typed pass level.
  bool OnNotify(int code) override;

  PrdApplyResult LastApplyResult() const { return m_LastApply; }

 private:
  void ShowModel(bool withLists);
  void ReadControls();
  void SelectRefusedLevel();

  CPrdConfigModel m_Model;
  PrdApplyResult m_LastApply = PrdApplyResult::Written;
};
