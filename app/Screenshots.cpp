#include "app/Screenshots.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/GPSPage.h"
#include "app/PropertySheet.h"
#include "platform/Time.h"

namespace {

// A newly shown tab gets a page timer tick and a record before its picture.
constexpr uint32_t kTabSettleMs = 1100;

bool g_bScreenshotsFailed = false;

void Settle() {
  QEventLoop loop;
  QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(platform::ScaledDuration(kTabSettleMs)),
                     &loop, &QEventLoop::quit);
  loop.exec();
}

nlohmann::json DescribeControl(const CGPSPage& page, int id, QWidget* control) {
  nlohmann::json items = nlohmann::json::array();
  for (const QString& item : page.ListItems(id)) items.push_back(item.toStdString());
  auto* button = qobject_cast<QAbstractButton*>(control);
  return {{"id", id},
          {"type", control->metaObject()->className()},
          {"text", page.ItemText(id).toStdString()},
          {"checked", button != nullptr && button->isChecked()},
          {"enabled", control->isEnabled()},
          {"visible", !control->isHidden()},
          {"items", items},
          {"selection", page.CurSel(id)}};
}

nlohmann::json DescribeTab(const CPropertySheet& sheet, int index) {
  const CGPSPage& page = *sheet.Page(index);
  nlohmann::json controls = nlohmann::json::array();
  for (const auto& [id, control] : page.Items()) controls.push_back(DescribeControl(page, id, control));
  return {{"tab", sheet.TabTitle(index).toStdString()}, {"dialog", page.DialogId()}, {"controls", controls}};
}

}  // namespace

std::string ScreenshotName(int tabIndex, const std::string& tabTitle) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d-", tabIndex + 1);
  std::string name = number;
  for (char c : tabTitle) name += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name + ".png";
}

bool SaveScreenshots(CPropertySheet& sheet, const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  bool ok = !error;
  nlohmann::json tabs = nlohmann::json::array();
  const int shown = sheet.CurrentTab();
  for (int i = 0; i < sheet.TabCount(); ++i) {
    sheet.ShowTab(i);
    Settle();
    const std::filesystem::path file = folder / ScreenshotName(i, sheet.TabTitle(i).toStdString());
    if (!sheet.grab().save(QString::fromStdString(file.string()), "PNG")) ok = false;
    tabs.push_back(DescribeTab(sheet, i));
  }
  sheet.ShowTab(shown);
  std::ofstream json(folder / "controls.json");
  json << nlohmann::json{{"caption", sheet.Caption().toStdString()}, {"tabs", tabs}}.dump(2) << "\n";
  return ok && json.good();
}

void ScheduleQuit(double quitAfterS, const std::filesystem::path& folder) {
  SetSheetShownHook([quitAfterS, folder](CPropertySheet& sheet) {
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(
        platform::ScaledDuration(static_cast<uint32_t>(quitAfterS * 1000.0)));
    QTimer::singleShot(delay, &sheet, [&sheet, folder] {
      if (!folder.empty() && !SaveScreenshots(sheet, folder)) {
        g_bScreenshotsFailed = true;
        std::fprintf(stderr, "navlume: cannot write the screenshots into %s\n", folder.c_str());
      }
      sheet.Cancel();
    });
  });
}

bool ScreenshotsFailed() { return g_bScreenshotsFailed; }
