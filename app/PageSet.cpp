#include "app/PageSet.h"

#include "app/PlaceholderPage.h"
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

std::unique_ptr<CGPSPage> NewPrdConfig(CPortConf&) {
  return std::make_unique<CPlaceholderPage>(kPagePrdSettings, IDD_PRD_CONFIG, "PRD Settings");
}

std::unique_ptr<CGPSPage> NewPrdTestPage(CPortConf&) {
  return std::make_unique<CPlaceholderPage>(kPageMain, IDD_PRD_TEST_PAGE, "Main");
}

void AddDeviceToPrdTestPage(CGPSPage&, CGPSDevice&) {}
