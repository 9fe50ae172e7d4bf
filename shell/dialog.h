// The main dialog's procedure: dialog initialisation, every command and timer tick of the dialog,
// and the keyboard filter through which the display doubles as an ANSI terminal's keyboard.
#pragma once

#include "platform/dialog_host.h"

int InitializeApp(platform::DialogHost& hDlg);
int DialogFunc(platform::DialogHost& hwndDlg, const platform::DialogMessage& msg);

// 1 when text is selected in the display, else 0.
int hex_text_selected(platform::DialogHost& hwnd);
