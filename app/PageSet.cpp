#include "app/PageSet.h"

#include "app/pages/HistoryPage.h"
#include "app/pages/MainPage.h"
#include "app/pages/NmeaPage.h"
#include "app/pages/PrdConfig.h"
#include "app/pages/PrdTestPage.h"
#include "app/pages/SettingsPage.h"
#include "app/pages/SignalPage.h"
#include "app/pages/SkyViewPage.h"
#include "resources/resource.h"

std::unique_ptr<CGPSPage> NewMainPage() { return std::make_unique<CMainPage>(); }

std::unique_ptr<CGPSPage> NewSignalPage() { return std::make_unique<CSignalPage>(); }

std::unique_ptr<CGPSPage> NewNmeaPage() { return std::make_unique<CNmeaPage>(); }

std::unique_ptr<CGPSPage> NewSkyViewPage() { return std::make_unique<CSkyViewPage>(); }

std::unique_ptr<CGPSPage> NewHistoryPage() { return std::make_unique<CHistoryPage>(); }

std::unique_ptr<CGPSPage> NewSettingsPage(CPortConf& conf) { return std::make_unique<CSettingsPage>(conf); }

std::unique_ptr<CGPSPage> NewPrdConfig(CPortConf& conf) { return std::make_unique<CPrdConfig>(conf); }

std::unique_ptr<CGPSPage> NewPrdTestPage(CProductionStation& station, std::function<uint64_t()> resultsWaiting) {
  return std::make_unique<CPrdTestPage>(station, std::move(resultsWaiting));
}
