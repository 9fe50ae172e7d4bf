// The terminal core: the state of the two terminal ports, the switches the dialog, the receive pump
// and the senders share, the option tables behind every selector, and the core's operations.
//
// Terminal port 0 is Port A, 1 is Port B. Terminal port i is bound to the serial port (0 = COM1 ..
// 15 = COM16) in hex_obj[i].portnum; everything for terminal port i goes to that number. The
// globals, tables and functions declared here are defined in core/hex_state.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog_host.h"

// ---- Sizes and codes ----

inline constexpr int HEX_MAX_PORT = 2;
inline constexpr int HEX_LAST_PORT = 16;
inline constexpr int HEX_QUEUE_SIZE = 2048;
inline constexpr int HEX_MAX_MSG = 10;
inline constexpr int HEX_MSG_SIZE = 256;
inline constexpr int HEX_MAX_STRING = (HEX_QUEUE_SIZE + 256) * 3;  // 6912
inline constexpr int HEX_FILENAME_SIZE = 260;

inline constexpr int HEX_HEX_VIEW = 0;
inline constexpr int HEX_ASCII_VIEW = 1;
inline constexpr int HEX_ANSI_VIEW = 2;
inline constexpr int HEX_HDLC_VIEW = 3;
inline constexpr int HEX_PPP_VIEW = 4;
inline constexpr int HEX_ICNI_VIEW = 5;
inline constexpr int HEX_TERMINAL_VIEW = 6;

inline constexpr int HEX_DUMP = 0;
inline constexpr int HEX_XMODEM = 1;
inline constexpr int HEX_XMODEM_CRC = 2;
inline constexpr int HEX_XMODEM_1K = 3;

inline constexpr int HEX_CRC16 = 0;
inline constexpr int HEX_CRC32 = 1;
inline constexpr int HEX_SUM = 2;
inline constexpr int HEX_XOR = 3;

inline constexpr int HEX_NO_FRAME = 0;
inline constexpr int HEX_HDLC = 1;
inline constexpr int HEX_PPP = 2;
inline constexpr int HEX_ICNI = 3;

// Timers of the main dialog: id and period in milliseconds.
inline constexpr int HEX_SCREEN_TIMER = 1;
inline constexpr int HEX_XMODEM_TIMER = 2;
inline constexpr int HEX_DUMP_TIMER = 3;
inline constexpr int HEX_DUMP_ERR_TIMER = 4;
inline constexpr unsigned HEX_TIME = 50;
inline constexpr unsigned HEX_XTIME = 50;
inline constexpr unsigned HEX_DTIME = 50;
inline constexpr unsigned HEX_DERR_TIME = 15000;

// ---- Option tables: fixed-width, NUL-padded; table order is the code order of the selector ----

inline constexpr int HEX_COMSTR_SIZE = 6;
inline constexpr int HEX_PARITY_MAX = 5;
inline constexpr int HEX_PARITY_SIZE = 6;
inline constexpr int HEX_BAUD_MAX = 10;
inline constexpr int HEX_BAUD_SIZE = 7;
inline constexpr int HEX_STOP_MAX = 2;
inline constexpr int HEX_STOP_SIZE = 2;
inline constexpr int HEX_DATA_MAX = 4;
inline constexpr int HEX_DATA_SIZE = 2;
inline constexpr int HEX_FLOW_MAX = 3;
inline constexpr int HEX_FLOW_SIZE = 5;
inline constexpr int HEX_SUM_MAX = 4;
inline constexpr int HEX_SUM_SIZE = 6;
inline constexpr int HEX_PROTOCOL_MAX = 4;
inline constexpr int HEX_PROTOCOL_SIZE = 12;
inline constexpr int HEX_VIEW_MAX = 7;
inline constexpr int HEX_VIEW_SIZE = 12;
inline constexpr int HEX_FRAME_MAX = 4;
inline constexpr int HEX_FRAME_SIZE = 8;

extern const char hex_portnames[HEX_LAST_PORT][HEX_COMSTR_SIZE];
extern const char hex_parity[HEX_PARITY_MAX][HEX_PARITY_SIZE];
extern const char hex_baudcode[HEX_BAUD_MAX][HEX_BAUD_SIZE];
extern const char hex_stop[HEX_STOP_MAX][HEX_STOP_SIZE];
extern const char hex_data[HEX_DATA_MAX][HEX_DATA_SIZE];
extern const char hex_flow[HEX_FLOW_MAX][HEX_FLOW_SIZE];
extern const char hex_sum[HEX_SUM_MAX][HEX_SUM_SIZE];
extern const char hex_protocol[HEX_PROTOCOL_MAX][HEX_PROTOCOL_SIZE];
extern const char hex_view[HEX_VIEW_MAX][HEX_VIEW_SIZE];
extern const char hex_frame[HEX_FRAME_MAX][HEX_FRAME_SIZE];

// ---- The record of one terminal port ----

struct HEX_OBJ_TYP {
  int portnum;                     // serial port bound to this terminal port
  char portname[HEX_COMSTR_SIZE];  // "COM%d" of the terminal port index; nothing reads it
  int err;                         // result of the last serial call made for this port
  int enable;
  int present;                     // 1 when the bound serial port is open
  int baud;                        // speed index 0..9, or a typed rate in bits per second (above 9)
  int databits;                    // 5..8
  int parity;                      // 0..4: none, odd, even, mark, space
  int stopbits;                    // 0 one, 2 two
  char flow[3];                    // flow selector text as last read, at most two characters
  char logfilename[HEX_FILENAME_SIZE];
  char tx_msg[HEX_MAX_MSG][HEX_MSG_SIZE];
  // ANSI escape-sequence parser state
  int ansi_code;
  int ansi_data;
  int ansi_data0;
  int ansi_x;
  int ansi_y;
  int ansi_state;
  // Frame decoder state
  int msglength;  // ICNI length of the frame being collected; 255 not yet known, 0x1FF after a frame
  int msgindex;   // bytes collected in msg
  char msg[HEX_MAX_STRING + 1];
  int bitcnt;
  std::uint8_t byte;
  int onecnt;
};

extern HEX_OBJ_TYP hex_obj[HEX_MAX_PORT];

// ---- Colours per terminal port and direction ----

struct HEX_COLOUR_TYP {
  std::uint32_t rx;
  std::uint32_t tx;
};

extern const HEX_COLOUR_TYP hex_colour[HEX_MAX_PORT];  // display, 0x00BBGGRR
extern const HEX_COLOUR_TYP hex_rgb[HEX_MAX_PORT];     // log, 0xRRGGBB

// ---- Shared switches ----

extern int hex_run;          // 1 Run: received data is shown; 0 Stop: it is read and discarded
extern int hex_view_mode;    // HEX_HEX_VIEW .. HEX_TERMINAL_VIEW
extern int hex_ascii;        // 1 when messages are entered as text
extern int hex_send_port;    // terminal port that messages, keys and files are sent on
extern int hex_local_echo;   // 1 when typed keys and sent messages are shown
extern int hex_log;          // 1 while the HTML log is open
extern int hex_send_file;    // file transfer direction: 1 send, 0 get
extern std::uint16_t hex_time_stamp;  // nominal milliseconds, 50 per screen tick, wraps
extern unsigned hex_timer;            // the running screen timer, 0 when none
extern platform::DialogHost* hex_hwnd;  // the main dialog

// ---- Start, end, settings and bindings ----

void hex_init(platform::DialogHost& hwndDlg);
void hex_quit(platform::DialogHost& hwndDlg);
// Everything of the core back at its start values, as before the first hex_init: for tests, which
// run many starts in one process.
void hex_reset_state();

void hex_speed1SelChange(platform::DialogHost& hwndDlg);
void hex_data1SelChange(platform::DialogHost& hwndDlg);
void hex_stop1SelChange(platform::DialogHost& hwndDlg);
void hex_parity1SelChange(platform::DialogHost& hwndDlg);
void hex_flow1SelChange(platform::DialogHost& hwndDlg);
void hex_speed2SelChange(platform::DialogHost& hwndDlg);
void hex_data2SelChange(platform::DialogHost& hwndDlg);
void hex_stop2SelChange(platform::DialogHost& hwndDlg);
void hex_parity2SelChange(platform::DialogHost& hwndDlg);

// The Speed field's typed text is done with (the field lost the focus, or Enter was pressed in it).
// An entry's rate is chosen as from the list; another number is applied as that many bits per
// second; a rate the device refuses is reported and the field shows the rate in effect again, as it
// does for text that is no rate.
void hex_speed1KillFocus(platform::DialogHost& hwndDlg);
void hex_speed2KillFocus(platform::DialogHost& hwndDlg);
// Bits per second of a terminal port's speed setting.
unsigned hex_port_rate(int port);
// The entry of selector `id` that `text` names, ignoring case and surrounding blanks; -1 for none.
int hex_entry_named(const platform::DialogHost& hwndDlg, int id, std::string_view text);
// The entry of selector `id` that holds `text` exactly but for letter case; -1 for none.
int hex_entry_holding(const platform::DialogHost& hwndDlg, int id, std::string_view text);
void hex_flow2SelChange(platform::DialogHost& hwndDlg);

// "Port A" or "Port B", as the progress line names a terminal port.
std::string hex_port_name(int port);

// Shows a terminal port's status indicator checked when present, indeterminate when absent.
void hex_show_presence(platform::DialogHost& hwndDlg, int port);

// The device of a present terminal port has gone (a USB adapter pulled out): its port is closed
// and the terminal port shown absent until it is bound again.
void hex_port_lost(platform::DialogHost& hwndDlg, int port);

void hex_PortASelChange(platform::DialogHost& hwndDlg);
void hex_PortBSelChange(platform::DialogHost& hwndDlg);

// Opens a terminal port's bound serial port again with its settings and the start-up line states
// and shows it present; false (and nothing shown) when it does not open.
bool hex_reopen(platform::DialogHost& hwndDlg, int port);
