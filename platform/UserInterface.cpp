#include "platform/UserInterface.h"

#include <cstdio>

#include "platform/Event.h"
#include "platform/Time.h"

namespace platform {
namespace {
HeadlessUserInterface g_Headless;
UserInterface* g_pUserInterface = &g_Headless;
}  // namespace

void HeadlessUserInterface::MessageBox(const std::string& text, const std::string& caption) {
  m_MessageBoxes.push_back(text);
  if (!m_bQuiet) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

int HeadlessUserInterface::RunWaitDialog(const std::string& text, uint32_t periodMs,
                                         const std::function<int()>& onTick, Event* stop) {
  ++m_WaitDialogs;
  int result = 0;
  for (int tick = 1; result == 0; ++tick) {
    if (stop == nullptr) {
      SleepMs(periodMs);
    } else {
      stop->Wait(periodMs);
    }
    if (!m_bQuiet) std::fprintf(stderr, "%s %d\n", text.c_str(), tick);
    result = onTick();
  }
  return result;
}

int HeadlessUserInterface::RunModalDialog(DialogModel& model) {
  ++m_ModalDialogs;
  model.OnInitDialog();
  if (m_Answer) m_Answer(model);
  return model.Ended() ? model.Result() : 0;
}

UserInterface& CurrentUserInterface() { return *g_pUserInterface; }

void SetUserInterface(UserInterface* ui) { g_pUserInterface = ui ? ui : &g_Headless; }

void ShowError(const std::string& text) { CurrentUserInterface().MessageBox(text, kErrorCaption); }

}  // namespace platform
