#include "app/PropertySheet.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/ScreenLayout.h"
#include "platform/StopRequest.h"

namespace {
CPropertySheet* g_pCurrentSheet = nullptr;
std::function<void(CPropertySheet&)> g_SheetShownHook;
}  // namespace

CPropertySheet::CPropertySheet(const QString& caption, std::vector<SheetTab> tabs, QWidget* parent)
    : QDialog(parent), m_pTabWidget(new QTabWidget(this)) {
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_pTabWidget);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPropertySheet::Apply);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPropertySheet::Cancel);

  for (const SheetTab& tab : tabs) {
    auto* host = new QWidget;
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    auto* slot = new QWidget(host);
    auto* slotLayout = new QVBoxLayout(slot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    auto* scrollBar = new QScrollBar(Qt::Vertical, host);
    scrollBar->hide();
    row->addWidget(slot, 1);
    row->addWidget(scrollBar);
    m_pTabWidget->addTab(host, tab.title);
    m_Tabs.push_back(Tab{tab.title, tab.page, host, slot, scrollBar});
  }
  connect(m_pTabWidget, &QTabWidget::currentChanged, this, &CPropertySheet::OnTabChanged);
  if (!m_Tabs.empty()) OnTabChanged(0);
}

CPropertySheet::~CPropertySheet() {
  if (g_pCurrentSheet == this) g_pCurrentSheet = nullptr;
  for (Tab& tab : m_Tabs) tab.page->DestroyWindow();
}

int CPropertySheet::CurrentTab() const { return m_pTabWidget->currentIndex(); }

void CPropertySheet::ShowTab(int index) { m_pTabWidget->setCurrentIndex(index); }

void CPropertySheet::OnTabChanged(int index) {
  if (m_CurrentTab >= 0 && m_CurrentTab < TabCount() && m_CurrentTab != index) {
    CGPSPage* previous = m_Tabs[m_CurrentTab].page;
    if (previous->HasWindow()) previous->OnDeactivate();
  }
  m_CurrentTab = index;
  if (index >= 0 && index < TabCount()) EnsureWindow(index);
}

void CPropertySheet::EnsureWindow(int index) {
  Tab& tab = m_Tabs[index];
  if (tab.page->HasWindow()) return;
  QWidget* window = tab.page->CreateWindow(tab.slot, tab.scrollBar);
  tab.slot->layout()->addWidget(window);
  window->show();
}

void CPropertySheet::NotifyPages(int code) {
  for (Tab& tab : m_Tabs)
    if (tab.page->HasWindow()) tab.page->OnNotify(code);
}

void CPropertySheet::Apply() {
  // A page that refuses the apply (an entry it cannot take) keeps the sheet open on its tab.
  for (int index = 0; index < TabCount(); ++index) {
    CGPSPage* page = m_Tabs[index].page;
    if (page->HasWindow() && !page->OnNotify(kPsnApply)) {
      ShowTab(index);
      return;
    }
  }
  accept();
}

void CPropertySheet::Cancel() {
  NotifyPages(kPsnReset);
  QDialog::reject();
}

void CPropertySheet::reject() { Cancel(); }

void CPropertySheet::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

CPropertySheet* CurrentSheet() { return g_pCurrentSheet; }

void SetSheetShownHook(std::function<void(CPropertySheet&)> hook) { g_SheetShownHook = std::move(hook); }

bool RunPropertySheet(const QString& caption, std::vector<SheetTab> tabs, bool fullScreen) {
  CPropertySheet sheet(caption, std::move(tabs));
  sheet.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  if (fullScreen) {
    sheet.showFullScreen();
  } else {
    sheet.setFixedSize(ScreenWidth(), ScreenHeight());
    sheet.show();
  }
  g_pCurrentSheet = &sheet;
  if (g_SheetShownHook) g_SheetShownHook(sheet);
  // A stop that came before the sheet was made cancels it once it runs.
  if (platform::StopRequested()) QMetaObject::invokeMethod(&sheet, &CPropertySheet::Cancel, Qt::QueuedConnection);
  const int result = sheet.exec();
  g_pCurrentSheet = nullptr;
  return result == QDialog::Accepted;
}
