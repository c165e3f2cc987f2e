#pragma once
// Dialog and control ids of the start-options dialog; views bind their
// controls by these numbers.

constexpr int IDD_START_OPTIONS = 111;

constexpr int IDC_START_OK = 7001;        // push button "OK"
constexpr int IDC_START_BAUDRATE = 7002;  // drop-down list of baud rates
constexpr int IDC_START_AGPS = 7003;      // radio button "PHS8 A-GPS"
constexpr int IDC_START_UBX = 7004;       // radio button "UBX GPS"
constexpr int IDC_START_OEM615 = 7005;    // radio button "OEM615 GPS"
constexpr int IDC_START_PRD = 7006;       // radio button "PRD setting"
