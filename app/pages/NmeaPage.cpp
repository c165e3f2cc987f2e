#include "app/pages/NmeaPage.h"

#include <QString>
#include <vector>

#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "resources/resource.h"
#include "ui_nmea_page.h"

CNmeaPage::CNmeaPage() : CGPSPage(kPageNmea, IDD_NMEA_PAGE, UseForm<Ui::NmeaPage>()) {}

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
  for (const std::string& line : m_Pending.TakeAll()) AddLine(line);
}

void CNmeaPage::AddLine(const std::string& line) {
  if (ListCount(IDC_NMEA_LIST) >= static_cast<int>(kNmeaListEntries)) RemoveListItem(IDC_NMEA_LIST, 0);
  const int index = AddListItem(IDC_NMEA_LIST, QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  SetCurSel(IDC_NMEA_LIST, index);
}
