// Resource and control ids, shared by the resource script and the C++ code.
#pragma once

// Strings
#define IDS_APPNAME 1
#define IDS_TITLE 2
#define IDS_VERSION 666

// Icon and bitmap
#define IDI_APP 101
#define IDB_LOGO 301

// Menu and accelerator commands of the main window
#define IDM_FINDSYNC 516
#define IDM_EXIT 1000
#define IDM_ABOUT 1100

// About box
#define IDC_VERSION 667

// Port selection dialog (FINDDVDBOX)
#define IDC_PORT_GROUP 504
#define IDC_PORT_AUTO 1201
#define IDC_PORT_COM1 1202
#define IDC_PORT_COM2 1203
#define IDC_PORT_COM3 1204
#define IDC_PORT_COM4 1205

// Progress dialogs (SEARCHINGBOX, LOADSYNCBOX, SAVESYNCBOX)
#define IDC_PROGRESS 101
#define IDC_SEARCH_STATUS 201
#define IDC_SAVE_STATUS 724

// Parameter editor (EDITSYNCBOX)
#define IDC_START_FRAME 109
#define IDC_END_FRAME 118
#define IDC_SYNCHRONIZE 119
#define IDC_COMMENT 122
#define IDC_INIT1 124
#define IDC_INIT2 125
#define IDC_INIT3 126
#define IDC_INIT4 127
#define IDC_LOAD 129
#define IDC_DEFAULTS 202
#define IDC_SAVE 203
#define IDC_START_LABEL 303
#define IDC_END_LABEL 304
#define IDC_INIT_GROUP 507
#define IDC_BAUD 718
#define IDC_BAUD_SPIN 719
#define IDC_MODEL 720
#define IDC_MODEL_SPIN 721
#define IDC_CHANNEL 722
#define IDC_CHANNEL_SPIN 723

// The editor's context menu (EDITORMENU) and its keys, Ctrl+S and Ctrl+O
#define IDM_SAVE_SETTINGS_FILE 1401
#define IDM_OPEN_SETTINGS_FILE 1402

// Hotkeys the editor holds while it is open: Ctrl+K, then Ctrl+B
#define HK_FIRST 1307
#define HK_SECOND 1308

// Private messages to the main window (WM_USER + 300 onwards)
#define UM_FINDSYNC 1324
#define UM_SYNCFOUND 1325
#define UM_SYNCNOTFOUND 1326
