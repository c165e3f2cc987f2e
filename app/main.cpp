// navlume: the program a person uses.

#include <QApplication>
#include <memory>
#include <vector>

#include "app/PageSet.h"
#include "app/PropertySheet.h"
#include "app/Resources.h"
#include "prodtest/PortConf.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  InitResources();
  CPortConf conf;
  std::vector<std::unique_ptr<CGPSPage>> pages;
  pages.push_back(NewMainPage());
  pages.push_back(NewSignalPage());
  pages.push_back(NewSkyViewPage());
  pages.push_back(NewNmeaPage());
  pages.push_back(NewSettingsPage(conf));
  pages.push_back(NewPrdConfig(conf));
  const char* titles[] = {"Main", "Signal", "Position", "NMEA data", "Settings", "PRD Settings"};
  std::vector<SheetTab> tabs;
  for (size_t i = 0; i < pages.size(); ++i) tabs.push_back(SheetTab{titles[i], pages[i].get()});
  RunPropertySheet("Navlume", std::move(tabs), false);
  return QuitPosted() ? QuitExitCode() : 0;
}
