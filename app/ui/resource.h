// Resource and command ids of KbPanel.exe. The control ids of the dialog
// templates come with the generated templates.
#pragma once

#define IDD_ABOUT 100
#define IDS_ABOUT 101
#define IDD_MAIN 102
#define IDI_PROGRAM 128
#define IDR_TRAY_MENU 140
#define IDI_ATTACHED 141
#define IDI_PLAYING 142

#define IDM_ABOUT_BOX 0x0010
#define ID_TRAY_OPEN 32771
#define ID_TRAY_ABOUT 32773
#define ID_TRAY_EXIT 32774
#define ID_TRAY_STOP 32775
