#include "app/GPSPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QShowEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>

#include "app/ScreenLayout.h"
#include "app/Version.h"
#include "platform/Time.h"
#include "resources/resource.h"
#include "resources/version.h"

namespace {
constexpr const char* kCtrlIdProperty = "ctrlId";

bool g_bQuitPosted = false;
int g_QuitExitCode = 0;

int ScaledIntervalMs(uint32_t periodMs) {
  const auto scaled = std::chrono::duration_cast<std::chrono::milliseconds>(platform::ScaledDuration(periodMs));
  return static_cast<int>(std::clamp<int64_t>(scaled.count(), 1, INT32_MAX));
}

// The scroll request a scroll bar action stands for; -1 for none.
int ScrollCodeFor(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      return kSbLineUp;
    case QAbstractSlider::SliderSingleStepAdd:
      return kSbLineDown;
    case QAbstractSlider::SliderPageStepSub:
      return kSbPageUp;
    case QAbstractSlider::SliderPageStepAdd:
      return kSbPageDown;
    case QAbstractSlider::SliderMove:
      return kSbThumbTrack;
    case QAbstractSlider::SliderToMinimum:
      return kSbTop;
    case QAbstractSlider::SliderToMaximum:
      return kSbBottom;
    default:
      return -1;
  }
}
}  // namespace

// The page's window: its paint and resize events go to the page. The form's
// controls sit on one child widget that scrolling moves as a whole.
class CPageWindow : public QWidget {
 public:
  CPageWindow(CGPSPage& page, QWidget* parent) : QWidget(parent), m_Page(page) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    m_Page.PaintWindow(painter);
  }
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    m_Page.OnWindowShown();
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    m_Page.OnSize(event->size().height());
  }

 private:
  CGPSPage& m_Page;
};

CGPSPage::CGPSPage(int pageKind, int dialogId, FormSetup setupForm)
    : m_PageKind(pageKind), m_DialogId(dialogId), m_SetupForm(std::move(setupForm)) {
  m_pPaceTimer = new QTimer(this);
  m_pPaceTimer->setSingleShot(true);
  connect(m_pPaceTimer, &QTimer::timeout, this, &CGPSPage::DeliverPending);
}

CGPSPage::~CGPSPage() { DestroyWindow(); }

bool CGPSPage::OnInitDialog() {
  UpdateScreenLayout(*this);
  return true;
}

bool CGPSPage::OnCommand(uint32_t, intptr_t) { return true; }
void CGPSPage::OnTimer(int) {}
void CGPSPage::OnPaint(QPainter&) {}

void CGPSPage::Refresh(bool) {
  if (!HasWindow()) return;
  if (QThread::currentThread() == thread()) {
    if (m_pWindow) m_pWindow->update();
    return;
  }
  if (!m_bRefreshPending.exchange(true, std::memory_order_acq_rel)) RequestDelivery();
}

void CGPSPage::OnApply() {}
void CGPSPage::OnReset() {}

bool CGPSPage::OnNotify(int code) {
  if (code == kPsnApply || code == kPsnReset) {
    if (code == kPsnApply)
      OnApply();
    else
      OnReset();
    PostQuitMessage(0);
  }
  return true;
}

void CGPSPage::OnDestroy() {}

void CGPSPage::SetScreenSize(int width, int height) {
  m_ScreenWidth = width;
  m_ScreenHeight = height;
}

QWidget* CGPSPage::Window() const { return m_pWindow.data(); }

void CGPSPage::SetTimer(int timerId, uint32_t periodMs) {
  if (!HasWindow()) return;
  QTimer*& timer = m_Timers[timerId];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timerId] { OnTimer(timerId); });
  }
  timer->start(ScaledIntervalMs(periodMs));
}

void CGPSPage::KillTimer(int timerId) {
  const auto found = m_Timers.find(timerId);
  if (found == m_Timers.end()) return;
  delete found->second;
  m_Timers.erase(found);
}

bool CGPSPage::TimerActive(int timerId) const {
  const auto found = m_Timers.find(timerId);
  return found != m_Timers.end() && found->second->isActive();
}

QWidget* CGPSPage::Item(int ctrlId) const {
  const auto found = m_Items.find(ctrlId);
  return found == m_Items.end() ? nullptr : found->second;
}

void CGPSPage::SetItemText(int ctrlId, const QString& text) {
  QWidget* item = Item(ctrlId);
  if (auto* label = qobject_cast<QLabel*>(item))
    label->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(item))
    button->setText(text);
  else if (auto* edit = qobject_cast<QLineEdit*>(item))
    edit->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(item))
    group->setTitle(text);
  else if (auto* plain = qobject_cast<QPlainTextEdit*>(item))
    plain->setPlainText(text);
  else if (auto* combo = qobject_cast<QComboBox*>(item); combo && combo->isEditable())
    combo->setEditText(text);
}

QString CGPSPage::ItemText(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  if (auto* label = qobject_cast<QLabel*>(item)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(item)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(item)) return edit->text();
  if (auto* group = qobject_cast<QGroupBox*>(item)) return group->title();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(item)) return plain->toPlainText();
  if (auto* combo = qobject_cast<QComboBox*>(item)) return combo->currentText();
  if (auto* list = qobject_cast<QListWidget*>(item)) return list->currentItem() ? list->currentItem()->text() : QString();
  return {};
}

bool CGPSPage::IsChecked(int ctrlId) const {
  auto* button = qobject_cast<QAbstractButton*>(Item(ctrlId));
  return button != nullptr && button->isChecked();
}

void CGPSPage::SetChecked(int ctrlId, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Item(ctrlId))) button->setChecked(checked);
}

void CGPSPage::EnableItem(int ctrlId, bool enable) {
  if (QWidget* item = Item(ctrlId)) item->setEnabled(enable);
}

bool CGPSPage::IsItemEnabled(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  return item != nullptr && item->isEnabled();
}

void CGPSPage::ShowItem(int ctrlId, bool show) {
  if (QWidget* item = Item(ctrlId)) item->setVisible(show);
}

bool CGPSPage::IsItemVisible(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  return item != nullptr && !item->isHidden();
}

QRect CGPSPage::ItemRect(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  if (item == nullptr || !m_pWindow) return {};
  return QRect(item->mapTo(m_pWindow.data(), QPoint(0, 0)), item->size());
}

int CGPSPage::AddListItem(int ctrlId, const QString& text) {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item)) {
    list->addItem(text);
    return list->count() - 1;
  }
  if (auto* combo = qobject_cast<QComboBox*>(item)) {
    combo->addItem(text);
    return combo->count() - 1;
  }
  return -1;
}

void CGPSPage::RemoveListItem(int ctrlId, int index) {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item))
    delete list->takeItem(index);
  else if (auto* combo = qobject_cast<QComboBox*>(item))
    combo->removeItem(index);
}

int CGPSPage::AddListItems(int ctrlId, const QStringList& texts) {
  auto* list = qobject_cast<QListWidget*>(Item(ctrlId));
  if (list == nullptr || texts.isEmpty()) return -1;
  list->addItems(texts);
  return list->count() - 1;
}

void CGPSPage::RemoveListItems(int ctrlId, int first, int count) {
  if (auto* list = qobject_cast<QListWidget*>(Item(ctrlId))) list->model()->removeRows(first, count);
}

void CGPSPage::ClearList(int ctrlId) {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item))
    list->clear();
  else if (auto* combo = qobject_cast<QComboBox*>(item))
    combo->clear();
}

int CGPSPage::ListCount(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item)) return list->count();
  if (auto* combo = qobject_cast<QComboBox*>(item)) return combo->count();
  return 0;
}

QString CGPSPage::ListItemText(int ctrlId, int index) const {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item)) return list->item(index) ? list->item(index)->text() : QString();
  if (auto* combo = qobject_cast<QComboBox*>(item)) return combo->itemText(index);
  return {};
}

QStringList CGPSPage::ListItems(int ctrlId) const {
  QStringList items;
  for (int i = 0, count = ListCount(ctrlId); i < count; ++i) items << ListItemText(ctrlId, i);
  return items;
}

void CGPSPage::SetCurSel(int ctrlId, int index) {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item)) {
    list->setCurrentRow(index);
    if (QListWidgetItem* entry = list->item(index)) list->scrollToItem(entry);
  } else if (auto* combo = qobject_cast<QComboBox*>(item)) {
    combo->setCurrentIndex(index);
  }
}

int CGPSPage::CurSel(int ctrlId) const {
  QWidget* item = Item(ctrlId);
  if (auto* list = qobject_cast<QListWidget*>(item)) return list->currentRow();
  if (auto* combo = qobject_cast<QComboBox*>(item)) return combo->currentIndex();
  return -1;
}

QWidget* CGPSPage::CreateWindow(QWidget* host, QScrollBar* scrollBar) {
  if (m_pWindow) return m_pWindow.data();
  m_pWindow = new CPageWindow(*this, host);
  m_pForm = new QWidget(m_pWindow.data());
  m_SetupForm(m_pForm);
  m_FormHeight = m_pForm->height();  // as designed
  m_pForm->move(0, 0);
  CollectItems(m_pForm);
  ConnectCommands();
  m_pScrollBar = scrollBar;
  if (m_pScrollBar) {
    SetScrollBarShown(false);
    connect(m_pScrollBar.data(), &QAbstractSlider::actionTriggered, this, [this](int action) {
      const int code = ScrollCodeFor(action);
      if (code < 0 || !m_pScrollBar) return;
      OnVScroll(code, m_pScrollBar->sliderPosition());
      m_pScrollBar->setSliderPosition(m_ScrollInfo.position);
    });
  }
  m_bHasWindow.store(true, std::memory_order_release);
  OnInitDialog();
  return m_pWindow.data();
}

void CGPSPage::DestroyWindow() {
  if (!HasWindow()) return;
  OnDestroy();
  for (auto& [id, timer] : m_Timers) delete timer;
  m_Timers.clear();
  m_bHasWindow.store(false, std::memory_order_release);
  DropPending();
  m_Items.clear();
  m_pForm = nullptr;
  delete m_pWindow.data();
  if (m_pScrollBar) m_pScrollBar->disconnect(this);
}

void CGPSPage::CollectItems(QWidget* form) {
  m_Items.clear();
  for (QWidget* child : form->findChildren<QWidget*>()) {
    const QVariant id = child->property(kCtrlIdProperty);
    if (id.isValid()) m_Items[id.toInt()] = child;
  }
}

void CGPSPage::ConnectCommands() {
  for (auto& [id, item] : m_Items) {
    const int ctrlId = id;
    auto command = [this, ctrlId](uint32_t code) { OnCommand(MakeCommand(ctrlId, code), 0); };
    if (auto* button = qobject_cast<QAbstractButton*>(item))
      connect(button, &QAbstractButton::clicked, this, [command] { command(kBnClicked); });
    else if (auto* combo = qobject_cast<QComboBox*>(item))
      connect(combo, &QComboBox::activated, this, [command] { command(kSelChange); });
    else if (auto* list = qobject_cast<QListWidget*>(item))
      connect(list, &QListWidget::itemClicked, this, [command] { command(kSelChange); });
    else if (auto* edit = qobject_cast<QLineEdit*>(item))
      connect(edit, &QLineEdit::textEdited, this, [command] { command(kEnChange); });
  }
}

void CGPSPage::OnSize(int clientHeight) {
  UpdateScreenLayout(*this);
  // Children displaced by an earlier scroll go back before the bar restarts at 0.
  ResetScroll();
  const std::optional<int> range = ScrollRangeFor(m_LayoutCode);
  SetScrollBarShown(range.has_value());
  m_ScrollInfo = ScrollInfo{0, range.value_or(0), range ? clientHeight : 0, 0};
  SyncScrollBar();
  // After the bar: showing it narrows the window at once, and a window not
  // yet shown gets no second resize event for that.
  if (m_pForm && m_pWindow) {
    m_pForm->resize(m_pWindow->width(), std::max(clientHeight, m_FormHeight));
  }
}

void CGPSPage::OnDeactivate() { ResetScroll(); }

void CGPSPage::OnVScroll(int code, int trackPos) {
  const std::optional<int> position = NewScrollPosition(m_ScrollInfo, code, trackPos);
  if (!position) return;
  m_ScrollInfo.position = *position;
  SyncScrollBar();
  const int delta = g_ScrollPos - *position;
  g_ScrollPos = *position;
  if (delta != 0) {
    m_ScrollOffset += delta;
    ScrollChildren(delta);
  }
  if (m_PageKind == kPageSignal || m_PageKind == kPagePosition) Refresh(true);
}

void CGPSPage::PaintWindow(QPainter& painter) { OnPaint(painter); }

void CGPSPage::ScrollChildren(int delta) {
  if (m_pForm) m_pForm->move(m_pForm->x(), m_pForm->y() + delta);
  if (m_pWindow) m_pWindow->update();
}

void CGPSPage::ResetScroll() {
  const int old = g_ScrollPos;
  g_ScrollPos = 0;
  m_ScrollOffset = 0;
  m_ScrollInfo.position = 0;
  SyncScrollBar();
  if (old != 0) ScrollChildren(old);
}

void CGPSPage::SetScrollBarShown(bool shown) {
  m_bScrollBar = shown;
  if (m_pScrollBar) m_pScrollBar->setVisible(shown);
}

void CGPSPage::SyncScrollBar() {
  if (!m_pScrollBar) return;
  const QSignalBlocker blocker(m_pScrollBar.data());
  m_pScrollBar->setRange(m_ScrollInfo.minimum, std::max(m_ScrollInfo.minimum, m_ScrollInfo.LargestPosition()));
  m_pScrollBar->setPageStep(std::max(1, m_ScrollInfo.page));
  m_pScrollBar->setValue(m_ScrollInfo.position);
}

void CGPSPage::PostGPSData(CGPSDevice* device, const GpsPosition& record) {
  {
    const std::lock_guard<std::mutex> lock(m_PostLock);
    m_Posted = record;
    m_pPostedDevice = device;
    if (m_bPostPending) return;
    m_bPostPending = true;
  }
  RequestDelivery();
}

void CGPSPage::ShowGPSData(CGPSDevice*, const GpsPosition&) {}

void CGPSPage::RequestDelivery() {
  if (!m_bDeliveryQueued.exchange(true, std::memory_order_acq_rel))
    QMetaObject::invokeMethod(this, &CGPSPage::DeliverPending, Qt::QueuedConnection);
}

void CGPSPage::DeliverPending() {
  m_bDeliveryQueued.store(false, std::memory_order_release);
  if (!HasWindow() || !m_pWindow) return DropPending();
  if (!m_pWindow->isVisible()) {
    m_bWaitsForShow = true;
    return;
  }
  const uint64_t now = platform::ScaledNowMs();
  if (const uint64_t wait = m_Pacer.WaitMs(now); wait > 0) {
    if (!m_pPaceTimer->isActive()) m_pPaceTimer->start(ScaledIntervalMs(static_cast<uint32_t>(wait)));
    return;
  }
  m_Pacer.Shown(now);
  if (m_bRefreshPending.exchange(false, std::memory_order_acq_rel)) m_pWindow->update();
  GpsPosition record;
  CGPSDevice* device = nullptr;
  {
    const std::lock_guard<std::mutex> lock(m_PostLock);
    if (!m_bPostPending) return;
    record = m_Posted;
    device = m_pPostedDevice;
    m_bPostPending = false;
  }
  ShowGPSData(device, record);
}

void CGPSPage::DropPending() {
  m_pPaceTimer->stop();
  m_bWaitsForShow = false;
  m_bRefreshPending.store(false, std::memory_order_release);
  const std::lock_guard<std::mutex> lock(m_PostLock);
  m_bPostPending = false;
}

void CGPSPage::OnWindowShown() {
  if (!m_bWaitsForShow) return;
  m_bWaitsForShow = false;
  DeliverPending();
}

void UpdateScreenLayout(CGPSPage& page) {
  page.SetScreenSize(ScreenWidth(), ScreenHeight());
  page.SetLayoutCode(LayoutCodeFor(ScreenWidth(), ScreenHeight()));
}

void ShowVersion(CGPSPage& page) { page.SetItemText(IDC_MAIN_VERSION, VersionLabel(kFileVersion)); }

void PostQuitMessage(int exitCode) {
  g_bQuitPosted = true;
  g_QuitExitCode = exitCode;
}

bool QuitPosted() { return g_bQuitPosted; }
int QuitExitCode() { return g_QuitExitCode; }

void ClearQuitMessage() {
  g_bQuitPosted = false;
  g_QuitExitCode = 0;
}
