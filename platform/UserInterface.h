#pragma once
// What the core shows the user goes through this interface: message boxes, the
// "Loading..." wait dialog and modal dialogs described by a DialogModel. The
// GUI implements it with Qt; tools and tests use the headless implementation.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

class Event;

// State of one dialog control, addressed by its numeric control id.
struct ControlState {
  std::string text;
  bool checked = false;
  bool enabled = true;
  std::vector<std::string> items;  // list and combo boxes
  int selection = -1;              // -1: nothing selected
};

// A modal dialog's logic, independent of how it is drawn: the view shows the
// controls' state and forwards the user's clicks as commands.
class DialogModel {
 public:
  virtual ~DialogModel() = default;
  virtual int DialogId() const = 0;
  virtual void OnInitDialog() = 0;
  // A click on a button or radio button, or a new combo selection (already
  // stored in the control's state by the view).
  virtual void OnCommand(int controlId) = 0;

  ControlState& Control(int controlId) { return m_Controls[controlId]; }
  const std::map<int, ControlState>& Controls() const { return m_Controls; }
  bool Ended() const { return m_bEnded; }
  int Result() const { return m_Result; }

 protected:
  void EndDialog(int result) {
    m_bEnded = true;
    m_Result = result;
  }

 private:
  std::map<int, ControlState> m_Controls;
  bool m_bEnded = false;
  int m_Result = 0;
};

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A top-most message box without owner.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
  // Shows `text` in a modal wait dialog and calls `onTick` every `periodMs`
  // (scaled) on the calling thread until it returns non-zero; that value is
  // the dialog's result. Once `stop` (a manual-reset event, may be null) is
  // set, the next tick comes at once instead of after the period.
  virtual int RunWaitDialog(const std::string& text, uint32_t periodMs, const std::function<int()>& onTick,
                            Event* stop = nullptr) = 0;
  // Runs a modal dialog until the model ends it; returns its result.
  virtual int RunModalDialog(DialogModel& model) = 0;
};

// Message boxes and progress on standard error; modal dialogs are answered by
// a script of clicks (control ids), after which the dialog must have ended.
class HeadlessUserInterface : public UserInterface {
 public:
  void MessageBox(const std::string& text, const std::string& caption) override;
  int RunWaitDialog(const std::string& text, uint32_t periodMs, const std::function<int()>& onTick,
                    Event* stop = nullptr) override;
  int RunModalDialog(DialogModel& model) override;

  // Answers the next modal dialogs: `answer` is called after OnInitDialog and
  // may click (model.OnCommand) or change control state.
  void SetDialogAnswer(std::function<void(DialogModel&)> answer) { m_Answer = std::move(answer); }
  void SetQuiet(bool quiet) { m_bQuiet = quiet; }

  std::vector<std::string> MessageBoxes() const { return m_MessageBoxes; }
  int WaitDialogsShown() const { return m_WaitDialogs; }
  int ModalDialogsShown() const { return m_ModalDialogs; }

 private:
  std::function<void(DialogModel&)> m_Answer;
  bool m_bQuiet = false;
  std::vector<std::string> m_MessageBoxes;
  int m_WaitDialogs = 0;
  int m_ModalDialogs = 0;
};

// The process's user interface; a HeadlessUserInterface until one is installed.
UserInterface& CurrentUserInterface();
void SetUserInterface(UserInterface* ui);

// Every failure the user sees is a message box with this caption.
constexpr const char* kErrorCaption = "Error";
void ShowError(const std::string& text);

}  // namespace platform
