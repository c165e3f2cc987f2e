#pragma once
// The start-options dialog: when more than one receiver is fitted and the
// test configuration file names none, the user picks one receiver and its
// baud rate, or production-test mode. It writes its choice into the CPortConf.

#include "platform/UserInterface.h"
#include "prodtest/PortConf.h"

class CStartOptionsDialog : public platform::DialogModel {
 public:
  explicit CStartOptionsDialog(CPortConf& conf) : m_Conf(conf) {}

  int DialogId() const override;
  // Checks the first fitted receiver, disables the others that are not
  // fitted and shows the standard baud rates with "9600" selected.
  void OnInitDialog() override;
  // Radio buttons refill the baud-rate list; "OK" stores the choice and ends the dialog.
  void OnCommand(int controlId) override;

 private:
  void CheckRadio(int controlId);
  void FillBaudRates(int choice);
  void Accept();

  CPortConf& m_Conf;
};
