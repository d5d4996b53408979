// Resource identifiers of Cardpost.
#pragma once

// About box
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDM_ABOUTBOX 0x0010

// Main dialog
#define IDD_CARDPOST_DIALOG 102
#define IDC_SCAN_RECOGNISE 1000

// Program icon
#define IDR_MAINFRAME 128

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
