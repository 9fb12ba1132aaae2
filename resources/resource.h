// Resource, control and command ids, grouped by window. Used by the .rc
// files and the code alike.
#pragma once

// ---- main window: dialog template and its controls
#define IDD_MAIN                1536
#define IDC_MAIN_OK             1       // IDOK, never shown
#define IDC_MAIN_EXIT           2       // IDCANCEL, "E&xit"
#define IDC_MAIN_PREVIEW        1008
#define IDC_MAIN_TILE           1009
#define IDC_MAIN_CENTER         1010
#define IDC_MAIN_FULL_SCREEN    1013
#define IDC_MAIN_STATUS_PLACE   1030
#define IDC_MAIN_READ_ONLY      1040
#define IDC_MAIN_TYPE_LABEL     1089
#define IDC_MAIN_NAME_LABEL     1090
#define IDC_MAIN_DRIVE_LABEL    1091
#define IDC_MAIN_DIR_LABEL      1092
#define IDC_MAIN_FILE_LIST      1120
#define IDC_MAIN_DIR_LIST       1121
#define IDC_MAIN_TYPE_COMBO     1136
#define IDC_MAIN_DRIVE_COMBO    1137
#define IDC_MAIN_NAME_EDIT      1152
