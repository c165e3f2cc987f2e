#pragma once
// Dialog, control and bitmap ids of the program's resources. Every control in
// a .ui file carries its id as the dynamic property "ctrlId"; page code reads
// and writes controls by these names. Each dialog keeps its ids in its own block.

#include "prodtest/StartOptionsIds.h"  // dialog 111 and its controls 7001-7006

// Dialogs (one .ui file each).
constexpr int IDD_MAIN_PAGE = 101;
constexpr int IDD_NMEA_PAGE = 102;
constexpr int IDD_SKYVIEW_PAGE = 103;
constexpr int IDD_SIGNAL_PAGE = 104;
constexpr int IDD_WAIT_DIALOG = 105;
constexpr int IDD_SETTINGS_PAGE = 109;
constexpr int IDD_PRD_TEST_PAGE = 110;
// IDD_PRD_CONFIG (112) comes with its controls from prodtest/PrdConfigIds.h.

// Bitmaps (resources/bitmaps/<id>.png).
constexpr int IDB_RECEIVER = 501;     // receiver illustration, 159x96
constexpr int IDB_SKYPLOT = 502;      // sky-plot background, 231x239
constexpr int IDB_SKYPLOT_BIG = 503;  // sky-plot background, 462x478

// Wait dialog (105).
constexpr int IDC_WAIT_TEXT = 9000;      // static text "Loading..."
constexpr int IDC_WAIT_PROGRESS = 9001;  // attempts made so far

// Main page (101): the version label written at start-up.
constexpr int IDC_MAIN_VERSION = 1001;

// "PRD Settings" page (112): dialog and control ids 8000-8007, shared with its headless model.
#include "prodtest/PrdConfigIds.h"

// Production test page (110): two identical panels of one receiver each.
constexpr int IDC_PRD_TITLE1 = 6001;      // "Not Installed", then "COM2:(U-BLOX7)" ...
constexpr int IDC_PRD_VIEW1 = 6000;       // satellites in view
constexpr int IDC_PRD_USED1 = 6002;       // satellites used
constexpr int IDC_PRD_SNR1 = 6003;        // average SNR and verdict
constexpr int IDC_PRD_TTFF1 = 6004;       // TTFF and its state
constexpr int IDC_PRD_BAR1_FIRST = 6005;  // bar places of channels 1-12: 6005-6016
constexpr int IDC_PRD_PRN1_FIRST = 6020;  // PRN labels of channels 1-12: 6020-6031
constexpr int IDC_PRD_TITLE2 = 6040;
constexpr int IDC_PRD_VIEW2 = 6041;
constexpr int IDC_PRD_USED2 = 6042;
constexpr int IDC_PRD_SNR2 = 6043;
constexpr int IDC_PRD_TTFF2 = 6044;
constexpr int IDC_PRD_BAR2_FIRST = 6045;  // 6045-6056
constexpr int IDC_PRD_PRN2_FIRST = 6060;  // 6060-6071
