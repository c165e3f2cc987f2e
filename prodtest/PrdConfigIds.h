#pragma once
// Dialog and control ids of the "PRD Settings" page; views bind their
// controls by these numbers.

constexpr int IDD_PRD_CONFIG = 112;

constexpr int IDC_PRD_ENABLE_GPS1 = 8000;  // check box "Enable GPS1"
constexpr int IDC_PRD_PORT1 = 8001;        // drop-down list: slot 1 receiver
constexpr int IDC_PRD_LEVEL1 = 8002;       // editable drop-down: slot 1 pass level
constexpr int IDC_PRD_ENABLE_GPS2 = 8003;  // check box "Enable GPS2"
constexpr int IDC_PRD_PORT2 = 8004;        // drop-down list: slot 2 receiver
constexpr int IDC_PRD_LEVEL2 = 8005;       // editable drop-down: slot 2 pass level
constexpr int IDC_PRD_TEST_TYPE = 8006;    // drop-down list: test type
constexpr int IDC_PRD_TIMEOUT = 8007;      // drop-down list: test timeout
