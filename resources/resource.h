// Identifiers shared by the resource script and the code. Every number lives here once.
#pragma once

// Icons, menu, accelerators.
#define IDI_PROGRAM       107
#define IDI_PROGRAM_SMALL 108
#define IDR_MAINMENU      109
#define IDR_ACCELERATORS  109

// Dialog templates.
#define IDD_ABOUT           103
#define IDD_CUT_PROGRESS    129
#define IDD_PANEL_CONTAINER 130
#define IDD_REPAIR          131
#define IDD_CONTROL_PANEL   132
#define IDD_TIMELINE        133
#define IDD_FINE_TUNE_SIZE  134
#define IDD_JUMP_SIZE       135
#define IDD_AB_PANEL        136
#define IDD_INFO_STRIP      137
#define IDD_NEW_VERSION     138
#define IDD_CUT_METHOD      153

// Toolbar image strips: the play/pause image and the A/B image differ between them.
#define IDB_STRIP_PAUSE_CANCEL 139
#define IDB_STRIP_PAUSE_SET_A  140
#define IDB_STRIP_PAUSE_SET_B  141
#define IDB_STRIP_PLAY_SET_A   143
#define IDB_STRIP_PLAY_SET_B   144
#define IDB_STRIP_PLAY_CANCEL  145

// Panel pictures, drawn with SRCAND (white shows the background): the timeline bar's thumb
// and flags, the A-B display's play button and shortcut table.
#define IDB_THUMB          142
#define IDB_PLAY_BUTTON    146
#define IDB_SHORTCUT_TABLE 147
#define IDB_FLAG_A         148
#define IDB_FLAG_B         149

// Busy animation shown while a tool runs.
#define IDR_BUSY_AVI 150

// Cached strings.
#define IDS_CAPTION              103
#define IDS_USAGE_HINT           110
#define IDS_LOAD_FAILED          111
#define IDS_RUN_FAILED           112
#define IDS_COMPANION_MISSING    113
#define IDS_FILTER_MISSING       114
#define IDS_SYSTEM_BROKEN        115
#define IDS_NO_FILE              116
#define IDS_FILE_LOADED          117
#define IDS_PLAYING              118
#define IDS_PAUSED               119
#define IDS_STOPPED              120
#define IDS_MENU_PLAY            121
#define IDS_MENU_PAUSE           122
#define IDS_MENU_SET_A           123
#define IDS_MENU_SET_B           124
#define IDS_MENU_CANCEL_AB       125
#define IDS_VERSION_DEPRECATED   126
#define IDS_VERSION_NEW          127
#define IDS_PLAYBACK_ABORTED     141
#define IDS_CUT_DONE             145
#define IDS_GAP_TOO_SHORT        146
#define IDS_MENU_TOPMOST         147
#define IDS_MENU_NOT_TOPMOST     148
#define IDS_SELF_OVERWRITE       150
#define IDS_CREATE_FAILED        151
#define IDS_REPLACE_QUESTION     152
#define IDS_READ_FAILED          153
#define IDS_WRITE_FAILED         154
#define IDS_CUT_FAILED           155
#define IDS_SPLITTER_NOT_STARTED 156

// Toolbar tooltips (handed to the tooltip control by identifier, not cached).
#define IDS_TIP_PLAY          128
#define IDS_TIP_PAUSE         129
#define IDS_TIP_JUMP_BACKWARD 130
#define IDS_TIP_JUMP_FORWARD  131
#define IDS_TIP_SET_A         132
#define IDS_TIP_SET_B         133
#define IDS_TIP_CANCEL_AB     134
#define IDS_TIP_OPEN          135
#define IDS_TIP_CUT           136
#define IDS_TIP_A_PLUS        137
#define IDS_TIP_A_MINUS       138
#define IDS_TIP_B_PLUS        139
#define IDS_TIP_B_MINUS       140

// Commands shared by the menu, the accelerators and the toolbar.
#define IDM_ABOUT         104
#define IDM_EXIT          105
#define IDM_OPEN          32771
#define IDM_PLAY_PAUSE    32773
#define IDM_STOP          32774
#define IDM_JUMP_FORWARD  32775
#define IDM_JUMP_BACKWARD 32776
#define IDM_GO_TO_START   32778
#define IDM_GO_TO_END     32779
#define IDM_A_MINUS       32781
#define IDM_A_PLUS        32782
#define IDM_B_MINUS       32783
#define IDM_B_PLUS        32784
#define IDM_HOME_PAGE     32789
#define IDM_BLOG_PAGE     32790
#define IDM_SAMPLE        32791
#define IDM_MARK_AB       32792
#define IDM_CUT           32793
#define IDM_TOOLS_PAGE    32794
#define IDM_TOPMOST       32795
#define IDM_DONATE_PAGE   32801

// Controls.
#define IDC_PANEL_TOP_LINE    1000
#define IDC_PANEL_BOTTOM_LINE 1001
#define IDC_VOLUME_LINE       1002
#define IDC_JUMP_LINE         1003
#define IDC_FINE_TUNE_LINE    1004
#define IDC_VOLUME_SLIDER     1005
#define IDC_MUTE              1006
#define IDC_CHANGE_JUMP       1007
#define IDC_CHANGE_FINE_TUNE  1008
#define IDC_FINE_TUNE_VALUE   1010
#define IDC_REFRESH_TIMELINE  1012
#define IDC_REFRESH_AB_PANEL  1013
#define IDC_INFO_LINE         1014
#define IDC_NEW_VERSION_TEXT  1015
#define IDC_JUMP_EDIT         1016
#define IDC_FINE_TUNE_EDIT    1017
#define IDC_TIMELINE_LINE     1018
#define IDC_CUT_REVEAL        1021
#define IDC_CUT_OUTPUT_PATH   1022
#define IDC_CUT_STATUS        1023
#define IDC_REPAIR_ANIMATION  1025
#define IDC_CUT_ANIMATION     1026
#define IDC_JUMP_VALUE        1027
#define IDC_MODE_BITRATE      1033
#define IDC_MODE_FRAME        1034

// Not part of the start-up cache: shown only when the main window cannot be built.
#define IDS_STARTUP_FAILED 160
