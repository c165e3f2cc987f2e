#pragma once
// Pictures and a description of every tab, so that a run can be checked
// without a person: DIR/NN-<tab>.png for each tab and DIR/controls.json with
// every control that carries a ctrlId.

#include <filesystem>
#include <string>

class CPropertySheet;

// "01-main.png" for tab 0 titled "Main", "04-nmea-data.png" ...
std::string ScreenshotName(int tabIndex, const std::string& tabTitle);
// Shows each tab in turn, saves it and the controls' state; false when a file cannot be written.
bool SaveScreenshots(CPropertySheet& sheet, const std::filesystem::path& folder);
// After `quitAfterS` system seconds the running sheet is saved into `folder`
// (when not empty) and left as with Cancel.
void ScheduleQuit(double quitAfterS, const std::filesystem::path& folder);
// True when the scheduled screenshots could not be written.
bool ScreenshotsFailed();
