// Control ids of the main dialog, shared by the terminal core, the views and the shell.
#pragma once

#include "platform/dialog_host.h"  // IDOK, and IDCANCEL: the Exit button's id

inline constexpr int IDD_MAINDIALOG = 100;

inline constexpr int IDT_SCREEN = 101;
inline constexpr int IDC_SPEED1 = 105;
inline constexpr int IDC_DATA1 = 106;
inline constexpr int IDC_STOP1 = 107;
inline constexpr int IDC_PARITY1 = 108;
inline constexpr int IDC_SPEED2 = 109;
inline constexpr int IDC_DATA2 = 110;
inline constexpr int IDC_STOP2 = 111;
inline constexpr int IDC_PARITY2 = 112;
inline constexpr int IDR_LOG = 121;
inline constexpr int IDR_NOLOG = 122;
inline constexpr int IDR_RUN = 126;
inline constexpr int IDR_STOP = 127;
inline constexpr int IDC_VIEW = 129;
inline constexpr int IDC_PORTA = 133;
inline constexpr int IDR_COM1 = 134;
inline constexpr int IDR_COM2 = 135;
inline constexpr int IDB_SEND = 137;
inline constexpr int IDB_CLEAR = 146;
inline constexpr int IDC_COM1_STATE = 147;
inline constexpr int IDC_COM2_STATE = 148;
inline constexpr int IDC_FLOW1 = 149;
inline constexpr int IDC_FLOW2 = 150;
inline constexpr int IDC_MSG = 153;
inline constexpr int IDC_SUM = 154;
inline constexpr int IDB_SUM = 155;
inline constexpr int IDB_GO_FILE = 157;
inline constexpr int IDR_SENDFILE = 159;
inline constexpr int IDR_GETFILE = 160;
inline constexpr int IDC_PROTOCOL = 161;
inline constexpr int IDC_PORTB = 164;
inline constexpr int IDB_ABORT = 168;
inline constexpr int IDT_STATUS = 170;
inline constexpr int IDT_PROGRESS = 172;
inline constexpr int IDC_ECHO = 176;
inline constexpr int IDC_FRAME = 177;
inline constexpr int IDB_FRAME = 178;
inline constexpr int IDR_CAPTURE = 190;
inline constexpr int IDR_NOCAPTURE = 191;
inline constexpr int IDC_REPLAY = 192;
inline constexpr int IDC_PACED = 193;
