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
constexpr int IDD_HISTORY_PAGE = 113;
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

// Main page (101), the values and their captions.
constexpr int IDC_MAIN_NOTE = 1002;  // never written
constexpr int IDC_MAIN_UTC = 1003;
constexpr int IDC_MAIN_LATITUDE = 1004;
constexpr int IDC_MAIN_LONGITUDE = 1005;
constexpr int IDC_MAIN_FIX = 1006;
constexpr int IDC_MAIN_SATELLITES = 1007;
constexpr int IDC_MAIN_PDOP = 1008;
constexpr int IDC_MAIN_HDOP = 1009;
constexpr int IDC_MAIN_VDOP = 1010;
constexpr int IDC_MAIN_SATELLITES_CAPTION = 1011;
constexpr int IDC_MAIN_UTC_CAPTION = 1012;
constexpr int IDC_MAIN_LATITUDE_CAPTION = 1013;
constexpr int IDC_MAIN_LONGITUDE_CAPTION = 1014;
constexpr int IDC_MAIN_FIX_CAPTION = 1015;
constexpr int IDC_MAIN_PDOP_CAPTION = 1016;
constexpr int IDC_MAIN_HDOP_CAPTION = 1017;
constexpr int IDC_MAIN_VDOP_CAPTION = 1018;

// Signal page (104); channel i (0-11) has bar FIRST + i, PRN label FIRST + i
// and channel number FIRST + i.
constexpr int IDC_SIGNAL_VIEW = 2001;
constexpr int IDC_SIGNAL_USED = 2002;
constexpr int IDC_SIGNAL_BAR_FIRST = 2011;      // hidden placeholders: the bars are drawn there
constexpr int IDC_SIGNAL_PRN_FIRST = 2031;
constexpr int IDC_SIGNAL_CHANNEL_FIRST = 2051;  // "01" ... "12", never changed

// NMEA data page (102).
constexpr int IDC_NMEA_LIST = 3001;

// History page (113): hidden placeholders where the C/N0 lines and the strip of used satellites are drawn.
constexpr int IDC_HISTORY_PLOT = 10001;
constexpr int IDC_HISTORY_STRIP = 10002;

// Settings page (109).
constexpr int IDC_SETTINGS_SAVE = 5001;            // "Save to storage"
constexpr int IDC_SETTINGS_EXPORT = 5002;          // "Export to UART"
constexpr int IDC_SETTINGS_LOG_PATH = 5003;
constexpr int IDC_SETTINGS_BROWSE = 5004;          // "..."
constexpr int IDC_SETTINGS_COLD_START = 5005;      // "Cold start for external GPS."
constexpr int IDC_SETTINGS_SHOW_TTFF = 5006;       // "Display TTFF result"
constexpr int IDC_SETTINGS_MULTIPLEXER = 5007;     // "GPS Multiplexer"
constexpr int IDC_SETTINGS_DIRECT_ACCESS = 5008;   // "Direct Access"

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
constexpr int IDC_PRD_UNSAVED = 6080;     // shown when a result could not be saved in the journal
constexpr int IDC_PRD_RESULTS_WAITING = 6081;  // shown while results wait for the database
