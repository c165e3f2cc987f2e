#include "app/pages/NmeaPage.h"

#include <QAbstractItemView>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>
#include <vector>

#include "device/GPSDevice.h"
#include "platform/Debug.h"
#include "resources/resource.h"
#include "ui_nmea_page.h"

namespace {

// Draws an entry as one plain line from text laid out once: the list moves
// ten times a second, and laying out every visible line on each step was
// most of the page's work. A line wider than the list is cut at its edge.
class CLaidOutLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected) painter->fillRect(option.rect, option.palette.highlight());
    painter->save();
    painter->setFont(option.font);
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    const QStaticText& line = LaidOut(index.data().toString(), option.font);
    const QSizeF size = line.size();
    const qreal top = option.rect.top() + (option.rect.height() - size.height()) / 2;
    painter->setClipRect(option.rect);
    painter->drawStaticText(QPointF(option.rect.left() + kTextMargin, top), line);
    painter->restore();
  }

 private:
  static constexpr int kTextMargin = 3;
  // Entries the list can hold and the ones just gone; the cache starts afresh beyond it.
  static constexpr qsizetype kLaidOutLines = 2 * static_cast<qsizetype>(kNmeaListEntries);

  const QStaticText& LaidOut(const QString& text, const QFont& font) const {
    auto found = m_Lines.find(text);
    if (found != m_Lines.end()) return *found;
    if (m_Lines.size() >= kLaidOutLines) m_Lines.clear();
    QStaticText line(text);
    line.setTextFormat(Qt::PlainText);
    line.setPerformanceHint(QStaticText::AggressiveCaching);
    line.prepare(QTransform(), font);
    return *m_Lines.insert(text, line);
  }

  mutable QHash<QString, QStaticText> m_Lines;
};

}  // namespace

CNmeaPage::CNmeaPage() : CGPSPage(kPageNmea, IDD_NMEA_PAGE, UseForm<Ui::NmeaPage>()) { PaceRepaints(1, kListStepMs); }

bool CNmeaPage::OnInitDialog() {
  if (auto* list = qobject_cast<QAbstractItemView*>(Item(IDC_NMEA_LIST)))
    list->setItemDelegate(new CLaidOutLineDelegate(list));
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

// The lines that arrived since the last step. Selecting only the last of
// them shows the same list as selecting each in turn, for a fraction of the work.
// The oldest entries make room for them in one change of the list.
void CNmeaPage::ShowGPSData(CGPSDevice*, const GpsPosition&) {
  QStringList texts;
  for (const std::string& line : m_Pending.TakeAll())
    texts.append(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  const int entries = static_cast<int>(kNmeaListEntries);
  if (texts.size() > entries) texts.erase(texts.begin(), texts.end() - entries);
  const int surplus = ListCount(IDC_NMEA_LIST) + static_cast<int>(texts.size()) - entries;
  if (surplus > 0) RemoveListItems(IDC_NMEA_LIST, 0, surplus);
  const int newest = AddListItems(IDC_NMEA_LIST, texts);
  if (newest >= 0) SetCurSel(IDC_NMEA_LIST, newest);
}
