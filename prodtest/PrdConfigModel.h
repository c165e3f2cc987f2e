#pragma once
// The "PRD Settings" page without its widgets: the test type, the timeout and
// two receiver slots (taking part, receiver, pass level), filled from the
// run's configuration, and the test configuration file written from them when
// the sheet is accepted. The page shows these control states and hands the
// user's changes back.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"

// Timeout choices in seconds; the last, 0, is "No timeout".
constexpr std::array<uint32_t, 9> kTimeoutTable = {30, 40, 50, 60, 70, 80, 90, 100, 0};

enum class PrdApplyResult {
  Written,       // the file holds every line
  InvalidLevel,  // a typed pass level is not a whole number 10..50: nothing written
  CannotCreate,  // the file could not be created (on the card when one is present): nothing written
  CannotWrite,   // the new file could not be written whole: the old one stays as it was
  CannotDelete,  // the file is written, but the other place's file could not be deleted
};

// The pass level of a level combo: the typed text when there is one (a whole
// number 10..50), else the selected item. False when neither gives a level.
bool PassLevelOf(const platform::ControlState& combo, uint32_t& level);

class CPrdConfigModel : public platform::DialogModel {
 public:
  explicit CPrdConfigModel(CPortConf& conf) : m_pPortConf(&conf) {}

  int DialogId() const override;
  // Fills the lists, selects the configured test type, timeout and levels,
  // and gives the fitted receivers to the slots.
  void OnInitDialog() override;
  // A slot's check box enables or disables its receiver and level.
  void OnCommand(int controlId) override;

  // The sheet was accepted: the file is written (on the card when one is
  // present, else in the root), and with no slot checked the other place's
  // file is deleted. Problems are shown in message boxes.
  PrdApplyResult OnApply();
  PrdApplyResult GetnerateFile();
  // The level control whose text was refused by the last OnApply; 0 when none.
  int InvalidLevelControl() const { return m_InvalidLevelControl; }

 private:
  // The controls of one receiver slot; `number` is the slot's number in the file's keys.
  struct Slot {
    int number, enableId, portId, levelId;
  };
  static const std::array<Slot, 2> kSlots;

  // A receiver the file names, added to the run's configuration once the file is written.
  struct ConfiguredPort {
    const std::string* name;
    uint32_t level;
  };

  void FillCombos();
  void GiveReceiverToSlot(const Slot& slot, const char* receiverText, const std::string& portName);
  bool LevelsValid();
  bool DeleteOtherConfigFile();
  // The slot's lines of the file; the receiver it names goes to `ports`.
  std::string SlotLines(const Slot& slot, std::vector<ConfiguredPort>& ports);

  CPortConf* m_pPortConf;
  int m_InvalidLevelControl = 0;
  std::array<RefusedPassLevel, 2> m_FileLevels;  // per slot: the file's refused level it shows
};
