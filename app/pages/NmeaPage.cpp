#include "app/pages/NmeaPage.h"

#include <QString>
#include <chrono>
#include <vector>

#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "platform/Time.h"
#include "resources/resource.h"
#include "ui_nmea_page.h"

CNmeaPage::CNmeaPage() : CGPSPage(kPageNmea, IDD_NMEA_PAGE, UseForm<Ui::NmeaPage>()) {
  m_NextStep.setSingleShot(true);
  connect(&m_NextStep, &QTimer::timeout, this, &CNmeaPage::ShowPendingLines);
}

bool CNmeaPage::OnInitDialog() {
  UpdateScreenLayout(*this);
  return true;
}

void CNmeaPage::OnGPSData(CGPSDevice* device, GpsPosition record) {
  if (device == nullptr || !HasWindow()) return;
  ReceiveText(device, record, device->CopyRawText());
}

void CNmeaPage::ReceiveText(CGPSDevice* device, const GpsPosition& record, std::string_view bytes) {
  if (bytes.empty() || !HasWindow()) return;
  std::vector<std::string> lines;
  m_Splitter.Append(bytes, lines);
  if (lines.empty()) return;
  for (const std::string& line : lines) platform::DebugPrint("%s\r\n", line.c_str());
  m_Pending.Push(std::move(lines));
  PostGPSData(device, record);
}

void CNmeaPage::ShowGPSData(CGPSDevice*, const GpsPosition&) {
  if (m_NextStep.isActive()) return;
  ShowPendingLines();
  m_NextStep.start(std::chrono::duration_cast<std::chrono::milliseconds>(platform::ScaledDuration(kListStepMs)));
}

// Selecting only the last of the lines that arrived together shows the same
// list as selecting each in turn, for a fraction of the work.
void CNmeaPage::ShowPendingLines() {
  int newest = -1;
  for (const std::string& line : m_Pending.TakeAll()) newest = AddLine(line);
  if (newest >= 0) SetCurSel(IDC_NMEA_LIST, newest);
}

int CNmeaPage::AddLine(const std::string& line) {
  if (ListCount(IDC_NMEA_LIST) >= static_cast<int>(kNmeaListEntries)) RemoveListItem(IDC_NMEA_LIST, 0);
  return AddListItem(IDC_NMEA_LIST, QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
}
