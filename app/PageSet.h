#pragma once
// The page classes the program builds. WinMain creates its pages only
// through these functions, so a page class joins the program here.

#include <cstdint>
#include <functional>
#include <memory>

#include "app/GPSPage.h"

class CPortConf;
class CProductionStation;

std::unique_ptr<CGPSPage> NewMainPage();     // "Main" (101)
std::unique_ptr<CGPSPage> NewSignalPage();   // "Signal" (104)
std::unique_ptr<CGPSPage> NewNmeaPage();     // "NMEA data" (102)
std::unique_ptr<CGPSPage> NewSkyViewPage();  // "Position" (103)
std::unique_ptr<CGPSPage> NewHistoryPage();  // "History" (113), when turned on
std::unique_ptr<CGPSPage> NewSettingsPage(CPortConf& conf);  // "Settings" (109)
std::unique_ptr<CGPSPage> NewPrdConfig(CPortConf& conf);     // "PRD Settings" (112)
// Production "Main" (110); `resultsWaiting` counts the results that wait for the database (empty: none is set).
std::unique_ptr<CGPSPage> NewPrdTestPage(CProductionStation& station, std::function<uint64_t()> resultsWaiting = {});
