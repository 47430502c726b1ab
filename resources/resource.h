// Identifiers of the program's resources, its controls and its commands,
// shared by the resource script and the code.
#pragma once

#define IDD_MAIN 101
#define IDR_MAINMENU 102
#define IDD_ABOUT 103
#define IDI_APP 104
#define IDI_ONLINE 112
#define IDI_UNCHECKED 113

#define IDC_INTERVAL 1000
#define IDC_STARTONLINE 1001
#define IDC_STAY 1003
#define IDC_MAXDELAY 1005
#define IDC_IGNOREDIFF 1007
#define IDC_GOHOME 1010
#define IDC_LOG 1012
#define IDC_INTERVAL_SPIN 1013
#define IDC_INTERVAL_LABEL 1014
#define IDC_MAXDELAY_SPIN 1015
#define IDC_IGNOREDIFF_SPIN 1017
#define IDC_SERVERNAME 1018
#define IDC_SERVERMODE 1019

#define IDM_SETTINGS 1
#define IDM_ABOUT 40001
#define IDM_TIMEZONE 40002
#define IDM_ONLINE 40003
#define IDM_EXIT 40004
#define IDM_HISTORY 40005
#define IDM_COPY 40006
