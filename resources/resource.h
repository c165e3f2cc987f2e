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
constexpr int IDD_PRD_CONFIG = 112;

// Bitmaps (resources/bitmaps/<id>.png).
constexpr int IDB_RECEIVER = 501;     // receiver illustration, 159x96
constexpr int IDB_SKYPLOT = 502;      // sky-plot background, 231x239
constexpr int IDB_SKYPLOT_BIG = 503;  // sky-plot background, 462x478

// Wait dialog (105).
constexpr int IDC_WAIT_TEXT = 9000;      // static text "Loading..."
constexpr int IDC_WAIT_PROGRESS = 9001;  // attempts made so far

// Main page (101): the version label written at start-up.
constexpr int IDC_MAIN_VERSION = 1001;
