#include "app/PageSet.h"

#include "app/PlaceholderPage.h"
#include "app/pages/MainPage.h"
#include "app/pages/NmeaPage.h"
#include "app/pages/SettingsPage.h"
#include "app/pages/SignalPage.h"
#include "app/pages/SkyViewPage.h"
#include "resources/resource.h"

std::unique_ptr<CGPSPage> NewMainPage() { return std::make_unique<CMainPage>(); }

std::unique_ptr<CGPSPage> NewSignalPage() { return std::make_unique<CSignalPage>(); }

std::unique_ptr<CGPSPage> NewNmeaPage() { return std::make_unique<CNmeaPage>(); }

std::unique_ptr<CGPSPage> NewSkyViewPage() { return std::make_unique<CSkyViewPage>(); }

std::unique_ptr<CGPSPage> NewSettingsPage(CPortConf& conf) { return std::make_unique<CSettingsPage>(conf); }

std::unique_ptr<CGPSPage> NewPrdConfig(CPortConf&) {
  return std::make_unique<CPlaceholderPage>(kPagePrdSettings, IDD_PRD_CONFIG, "PRD Settings");
}

std::unique_ptr<CGPSPage> NewPrdTestPage(CPortConf&) {
  return std::make_unique<CPlaceholderPage>(kPageMain, IDD_PRD_TEST_PAGE, "Main");
}

void AddDeviceToPrdTestPage(CGPSPage&, CGPSDevice&) {}
