// Resource, command and control ids of the verification desk.
#pragma once

// Pictures (drawn by make_pictures.py at build time)
#define IDI_KESTRIN 100
#define IDR_SPLASH_JPEG 101
#define IDB_ABOUT_LOGO 102
#define IDB_TOOLBAR 103

// Dialog templates
#define IDD_SETPORT 200
#define IDD_ABOUT 201

// TForm_main: menu commands
#define IDM_P1 1001
#define IDM_NCHK 1011
#define IDM_NAUTO 1012
#define IDM_NCOPY 1013
#define IDM_NPRINT 1014
#define IDM_NIMEG 1015
#define IDM_FILEPRINT 1016
#define IDM_Y1 1021
#define IDM_A2 1031
#define IDM_W1 1032
#define IDM_E1 1041

// TForm_main: tool bar buttons and other controls
#define IDC_TBTNDEPART 1101
#define IDC_TBTNCHECK 1102
#define IDC_TBTNAUTO 1103
#define IDC_TBTNCOPY 1104
#define IDC_TBTNPRINT 1105
#define IDC_TBTNIMEG 1106
#define IDC_TBTFPRINT 1107
#define IDC_TBTNQRY 1108
#define IDC_TBTNHELP 1109
#define IDC_TBTNEXIT 1110
#define IDC_TOOLBAR1 1120
#define IDC_PANEL1 1121
#define IDC_SB 1122

// TForm_SysStart
#define IDC_SPLASH_LABEL1 1201

// TForm_setport
#define IDC_PAGECONTROL1 1301
#define IDC_LABEL5 1302
#define IDC_CBCOM 1303
#define IDC_LABEL6 1304
#define IDC_CBBAUND 1305
#define IDC_CKUSB 1306
#define IDC_BTNSET 1307
#define IDC_BTNQUIT 1308

// TForm_about
#define IDC_ABOUT_IMAGE1 1401
#define IDC_ABOUT_LABEL1 1402
#define IDC_ABOUT_LABEL2 1403
#define IDC_ABOUT_BUTTON1 1404
