#pragma once
// CGPSPage: the base class of every page of the sheet. A page object lives
// from start-up to teardown; its window (the form of its dialog, built from a
// Designer .ui file) exists from the first time its tab is shown until the
// sheet closes. The sheet turns Qt's events into the page's operations:
//   first show of the tab        -> OnInitDialog
//   click / selection of control -> OnCommand(MakeCommand(ctrlId, code), 0)
//   QTimer of SetTimer           -> OnTimer(id)
//   paintEvent of the page       -> OnPaint(painter)
//   OK / Cancel of the sheet     -> OnNotify(kPsnApply / kPsnReset) -> OnApply / OnReset, then quit
//   leaving the tab              -> scroll reset
//   resize                       -> layout code and scroll bar
//   the page's scroll bar        -> the scroll model (app/ScrollModel.h)
// OnGPSData runs on a device thread: it must not touch a widget. Pages hand
// the record to the UI thread with PostGPSData and show it in ShowGPSData,
// or ask for a repaint with Refresh, only when what they show has changed.
// The UI thread takes both at once, at most ten times in any second, and not
// while the page's tab is hidden: the newest record shows when the tab comes back.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "app/ScrollModel.h"
#include "app/pages/logic/RepaintPacer.h"
#include "device/GPSListener.h"
#include "nmea/GpsPosition.h"

class QPainter;
class QScrollBar;
class QTimer;
class QWidget;
class CPageWindow;

// Page kinds.
constexpr int kPageMain = 0;
constexpr int kPageSignal = 1;
constexpr int kPagePosition = 2;
constexpr int kPageNmea = 3;
constexpr int kPageSettings = 4;
constexpr int kPagePrdSettings = 5;
constexpr int kPageHistory = 6;

// Sheet notifications.
constexpr int kPsnApply = -202;
constexpr int kPsnReset = -203;

// Notification codes carried in the high word of OnCommand's wParam.
constexpr uint32_t kBnClicked = 0;     // button, check box, radio button
constexpr uint32_t kSelChange = 1;     // combo box or list box selection
constexpr uint32_t kEnChange = 0x300;  // edit text changed

constexpr uint32_t MakeCommand(int ctrlId, uint32_t code) {
  return (code << 16) | (static_cast<uint32_t>(ctrlId) & 0xFFFF);
}
constexpr int CommandId(uint32_t wParam) { return static_cast<int>(wParam & 0xFFFF); }
constexpr uint32_t CommandCode(uint32_t wParam) { return wParam >> 16; }

class CGPSPage : public QObject, public CGPSListener {
  Q_OBJECT

 public:
  // Builds the page's controls (a uic form's setupUi) on the given widget.
  using FormSetup = std::function<void(QWidget*)>;

  // A setup function for the uic-generated form class `Form` (Ui::MainPage ...).
  template <class Form>
  static FormSetup UseForm() {
    return [](QWidget* window) {
      Form form;
      form.setupUi(window);
    };
  }

  CGPSPage(int pageKind, int dialogId, FormSetup setupForm);
  ~CGPSPage() override;
  CGPSPage(const CGPSPage&) = delete;
  CGPSPage& operator=(const CGPSPage&) = delete;

  // Virtual operations, in slot order.
  virtual bool OnInitDialog();                               // base: UpdateScreenLayout, true
  virtual bool OnCommand(uint32_t wParam, intptr_t lParam);  // base: true
  virtual void OnTimer(int timerId);                         // base: nothing
  virtual void OnPaint(QPainter& painter);                   // base: nothing
  void OnGPSData(CGPSDevice* device, GpsPosition record) override = 0;  // device thread
  virtual void Refresh(bool erase);                          // repaint; any thread (paced, see above)
  virtual void OnApply();
  virtual void OnReset();
  virtual bool OnNotify(int code);  // kPsnApply / kPsnReset: OnApply / OnReset, then quit
  virtual void OnDestroy();
  // (the default window procedure has no counterpart: Qt handles what a page does not)

  int PageKind() const { return m_PageKind; }
  int DialogId() const { return m_DialogId; }
  int LayoutCode() const { return m_LayoutCode; }
  void SetLayoutCode(int code) { m_LayoutCode = code; }
  int ScreenWidth() const { return m_ScreenWidth; }
  int ScreenHeight() const { return m_ScreenHeight; }
  void SetScreenSize(int width, int height);
  // Sum of the vertical scroll deltas since the last reset; pages that paint
  // add it to their vertical positions.
  int ScrollOffset() const { return m_ScrollOffset; }
  bool HasWindow() const { return m_bHasWindow.load(std::memory_order_acquire); }
  QWidget* Window() const;  // null without window

  // Timers of the page (UI thread, window needed): periods in system
  // milliseconds, scaled by the platform time source. Setting an existing id restarts it.
  void SetTimer(int timerId, uint32_t periodMs);
  void KillTimer(int timerId);
  bool TimerActive(int timerId) const;

  // Controls by ctrlId (UI thread). Without window or control: no effect, empty results.
  QWidget* Item(int ctrlId) const;
  void SetItemText(int ctrlId, const QString& text);
  void SetItemText(int ctrlId, const std::string& text) { SetItemText(ctrlId, QString::fromStdString(text)); }
  void SetItemText(int ctrlId, const char* text) { SetItemText(ctrlId, QString::fromUtf8(text)); }
  QString ItemText(int ctrlId) const;
  bool IsChecked(int ctrlId) const;
  void SetChecked(int ctrlId, bool checked);
  void EnableItem(int ctrlId, bool enable);
  bool IsItemEnabled(int ctrlId) const;
  void ShowItem(int ctrlId, bool show);
  bool IsItemVisible(int ctrlId) const;
  // The control's rectangle in the page's coordinates (it moves with the scroll).
  QRect ItemRect(int ctrlId) const;
  // Combo boxes and list boxes. AddListItem returns the new entry's index (-1: no list).
  int AddListItem(int ctrlId, const QString& text);
  void RemoveListItem(int ctrlId, int index);
  // A list box's entries at once: one change of the list for many entries.
  // AddListItems returns the last new entry's index (-1: no list box or no text).
  int AddListItems(int ctrlId, const QStringList& texts);
  void RemoveListItems(int ctrlId, int first, int count);
  void ClearList(int ctrlId);
  int ListCount(int ctrlId) const;
  QString ListItemText(int ctrlId, int index) const;
  QStringList ListItems(int ctrlId) const;
  void SetCurSel(int ctrlId, int index);  // -1 clears; a list box scrolls the entry into view
  int CurSel(int ctrlId) const;           // -1: none
  // Every control of the form by ctrlId (UI thread).
  const std::map<int, QWidget*>& Items() const { return m_Items; }

  // The sheet's side (UI thread).
  QWidget* CreateWindow(QWidget* host, QScrollBar* scrollBar);  // first show: form, WM_INITDIALOG
  void DestroyWindow();                                         // the sheet closes: OnDestroy
  void OnSize(int clientHeight);                                // layout code and scroll bar
  void OnDeactivate();                                          // scroll reset
  void OnVScroll(int code, int trackPos);                       // the page's scroll bar
  const ScrollInfo& ScrollBarInfo() const { return m_ScrollInfo; }
  bool HasScrollBar() const { return m_bScrollBar; }
  void PaintWindow(QPainter& painter);  // from the window's paintEvent
  void OnWindowShown();                 // from the window's showEvent: what waited for it

  // Hand-overs from a device thread: at most this many in any span of this long.
  static constexpr size_t kRepaintsPerSpan = 10;
  static constexpr uint32_t kRepaintSpanMs = 1000;

 protected:
  // Device thread: keep `record` as the newest and have ShowGPSData run on the
  // UI thread; never blocks on the UI thread; at most one call is pending, so
  // a busy UI sees only the newest record.
  void PostGPSData(CGPSDevice* device, const GpsPosition& record);
  // UI thread: the newest record handed over by PostGPSData.
  virtual void ShowGPSData(CGPSDevice* device, const GpsPosition& record);
  // A page whose content changes all the time spreads its hand-overs evenly
  // (one per `spanMs`) rather than in bursts of kRepaintsPerSpan.
  void PaceRepaints(size_t count, uint32_t spanMs) { m_Pacer = CRepaintPacer(count, spanMs); }

 private:
  // UI thread: shows the posted record and repaints as asked, unless the
  // window is hidden (then when it is shown) or the last hand-over is too
  // recent (then when the pacing timer runs out).
  void DeliverPending();
  void RequestDelivery();  // any thread: one queued DeliverPending at a time
  // UI thread: the window is gone; what waited for it is dropped, so that a
  // window made later takes hand-overs again.
  void DropPending();
  void CollectItems(QWidget* form);
  void ConnectCommands();
  void ScrollChildren(int delta);
  void ResetScroll();
  void SetScrollBarShown(bool shown);
  void SyncScrollBar();

  const int m_PageKind;
  const int m_DialogId;
  const FormSetup m_SetupForm;
  int m_LayoutCode = 0;
  int m_ScreenWidth = 0;
  int m_ScreenHeight = 0;
  int m_ScrollOffset = 0;
  ScrollInfo m_ScrollInfo;
  bool m_bScrollBar = false;

  QPointer<CPageWindow> m_pWindow;
  QWidget* m_pForm = nullptr;
  int m_FormHeight = 0;
  QPointer<QScrollBar> m_pScrollBar;
  std::atomic<bool> m_bHasWindow{false};
  std::map<int, QWidget*> m_Items;
  std::map<int, QTimer*> m_Timers;

  std::mutex m_PostLock;  // guards the three below
  GpsPosition m_Posted{};
  CGPSDevice* m_pPostedDevice = nullptr;
  bool m_bPostPending = false;
  std::atomic<bool> m_bRefreshPending{false};
  std::atomic<bool> m_bDeliveryQueued{false};
  // UI thread: the pacing of hand-overs.
  CRepaintPacer m_Pacer{kRepaintsPerSpan, kRepaintSpanMs};
  QTimer* m_pPaceTimer = nullptr;
  bool m_bWaitsForShow = false;
};

// The emulated screen's layout code for this page (app/ScreenLayout.h).
void UpdateScreenLayout(CGPSPage& page);
// Writes the version label (control IDC_MAIN_VERSION) from the version resource.
void ShowVersion(CGPSPage& page);

// The quit message: pages post it on OK and Cancel; the program's message
// loop ends with its exit code.
void PostQuitMessage(int exitCode);
bool QuitPosted();
int QuitExitCode();
void ClearQuitMessage();
