#include "app/PageSet.h"

#include "app/PlaceholderPage.h"
#include "app/pages/PrdConfig.h"
#include "app/pages/PrdTestPage.h"
#include "resources/resource.h"

std::unique_ptr<CGPSPage> NewMainPage() {
  return std::make_unique<CPlaceholderPage>(kPageMain, IDD_MAIN_PAGE, "Main");
}

std::unique_ptr<CGPSPage> NewSignalPage() {
  return std::make_unique<CPlaceholderPage>(kPageSignal, IDD_SIGNAL_PAGE, "Signal");
}

std::unique_ptr<CGPSPage> NewNmeaPage() {
  return std::make_unique<CPlaceholderPage>(kPageNmea, IDD_NMEA_PAGE, "NMEA data");
}

std::unique_ptr<CGPSPage> NewSkyViewPage() {
  return std::make_unique<CPlaceholderPage>(kPagePosition, IDD_SKYVIEW_PAGE, "Position");
}

std::unique_ptr<CGPSPage> NewSettingsPage(CPortConf&) {
  return std::make_unique<CPlaceholderPage>(kPageSettings, IDD_SETTINGS_PAGE, "Settings");
}

std::unique_ptr<CGPSPage> NewPrdConfig(CPortConf& conf) { return std::make_unique<CPrdConfig>(conf); }

std::unique_ptr<CGPSPage> NewPrdTestPage(CPortConf& conf) { return std::make_unique<CPrdTestPage>(conf); }

void AddDeviceToPrdTestPage(CGPSPage& page, CGPSDevice& device) {
  if (auto* testPage = dynamic_cast<CPrdTestPage*>(&page)) testPage->AddDevice(&device);
}
