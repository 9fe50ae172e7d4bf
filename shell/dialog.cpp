#include "shell/dialog.h"

#include <string>
#include <string_view>

#include "core/hex.h"
#include "core/hex_checksum.h"
#include "core/hex_display.h"
#include "core/hex_frame.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "shell/port_presentation.h"
#include "shell/pump.h"
#include "views/ansi_terminal.h"

using platform::Check;
using platform::DialogHost;
using platform::DialogMessage;
using platform::KeyMessage;
using platform::MessageKind;
using platform::MsgFilter;
using platform::Notification;

namespace {

constexpr platform::Colour kDefaultTextColour = 0x0000FF00;  // green

// Controls of features this build does not have yet: shown greyed, so nothing pretends to work.
constexpr int kUnbuiltControls[] = {IDC_PROTOCOL, IDR_GETFILE, IDR_SENDFILE, IDB_ABORT, IDB_GO_FILE};

bool is_checked(DialogHost& dialog, int id) { return dialog.check(id) == Check::Checked; }

// Every way of ending the program closes the ports and the log properly before the dialog ends.
void end_program(DialogHost& dialog, int result) {
  hex_quit(dialog);
  dialog.end_dialog(result);
}

// A send port must be present: choosing an absent one moves the choice to the other port.
void choose_send_port(DialogHost& dialog, int port) {
  const int other = 1 - port;
  const int button[HEX_MAX_PORT] = {IDR_COM1, IDR_COM2};
  if (!hex_obj[port].present) {
    dialog.check_radio(IDR_COM1, IDR_COM2, button[other]);
    hex_send_port = other;
  } else {
    hex_send_port = is_checked(dialog, button[port]) ? port : other;
  }
}

void keyboard_filter(DialogHost& dialog, MsgFilter& filter) {
  bool back_door = false;
  if (filter.msg == KeyMessage::KeyDown) {
    switch (filter.code) {
      case platform::VK_RETURN: hex_ansi_return(); break;
      case platform::VK_ESCAPE:
        hex_ansi_escape();
        filter.code = 0;
        break;
      case platform::VK_PRIOR: hex_ansi_pg_up(); break;
      case platform::VK_NEXT: hex_ansi_pg_dn(); break;
      case platform::VK_END: hex_ansi_end(); break;
      case platform::VK_HOME: hex_ansi_home(); break;
      case platform::VK_LEFT: hex_ansi_left(); break;
      case platform::VK_UP: hex_ansi_up(); break;
      case platform::VK_RIGHT: hex_ansi_right(); break;
      case platform::VK_DOWN: hex_ansi_down(); break;
      case platform::VK_DELETE:
        hex_ansi_back();
        filter.code = platform::VK_BACK;
        break;
      case platform::VK_PROCESSKEY:
        back_door = true;
        filter.code = hex_escape_code;
        break;
      default: break;
    }
  } else {
    const int ch = filter.code;
    const bool clipboard_key = ch == 0x03 || ch == 0x16 || ch == 0x18;
    // With a selection, Ctrl+C, Ctrl+V and Ctrl+X are the display's copy, paste and cut.
    if (!(clipboard_key && hex_text_selected(dialog))) hex_ansi_char(dialog, ch);
  }
  // Without local echo the display shows nothing typed; only injected keys still move its caret.
  if (!back_door && hex_local_echo == 0) filter.code = 0;
}

void port_bound(DialogHost& dialog, void (*handler)(DialogHost&)) {
  handler(dialog);
  win_show_devices(dialog);
}

int command(DialogHost& dialog, int id, Notification code) {
  const bool selection_changed = code == Notification::SelChange;
  switch (id) {
    case IDOK: end_program(dialog, 1); return 1;
    case IDCANCEL: end_program(dialog, 0); return 1;
    case IDC_SPEED1: if (selection_changed) hex_speed1SelChange(dialog); return 1;
    case IDC_DATA1: if (selection_changed) hex_data1SelChange(dialog); return 1;
    case IDC_STOP1: if (selection_changed) hex_stop1SelChange(dialog); return 1;
    case IDC_PARITY1: if (selection_changed) hex_parity1SelChange(dialog); return 1;
    case IDC_FLOW1: if (selection_changed) hex_flow1SelChange(dialog); return 1;
    case IDC_SPEED2: if (selection_changed) hex_speed2SelChange(dialog); return 1;
    case IDC_DATA2: if (selection_changed) hex_data2SelChange(dialog); return 1;
    case IDC_STOP2: if (selection_changed) hex_stop2SelChange(dialog); return 1;
    case IDC_PARITY2: if (selection_changed) hex_parity2SelChange(dialog); return 1;
    case IDC_FLOW2: if (selection_changed) hex_flow2SelChange(dialog); return 1;
    case IDC_PORTA: if (selection_changed) port_bound(dialog, hex_PortASelChange); return 1;
    case IDC_PORTB: if (selection_changed) port_bound(dialog, hex_PortBSelChange); return 1;
    case IDC_VIEW: if (selection_changed) hex_ViewSelChange(dialog); return 1;
    case IDR_LOG: hex_log_open(dialog); return 1;
    case IDR_NOLOG: hex_log_close(dialog); return 1;
    case IDR_RUN:
      hex_run = is_checked(dialog, IDR_RUN) ? 1 : 0;
      dialog.set_focus(IDT_SCREEN);
      return 1;
    case IDR_STOP:
      hex_run = is_checked(dialog, IDR_STOP) ? 0 : 1;
      dialog.set_focus(IDT_SCREEN);
      return 1;
    case IDR_COM1: choose_send_port(dialog, 0); return 1;
    case IDR_COM2: choose_send_port(dialog, 1); return 1;
    case IDB_CLEAR:
      dialog.set_text(IDT_SCREEN, "");
      dialog.set_focus(IDT_SCREEN);
      return 1;
    case IDC_COM1_STATE: hex_show_presence(dialog, 0); return 1;
    case IDC_COM2_STATE: hex_show_presence(dialog, 1); return 1;
    case IDR_SENDFILE: hex_send_file = is_checked(dialog, IDR_SENDFILE) ? 1 : 0; return 1;
    case IDR_GETFILE: hex_send_file = is_checked(dialog, IDR_GETFILE) ? 0 : 1; return 1;
    case IDC_ECHO:
      hex_local_echo = is_checked(dialog, IDC_ECHO) ? 1 : 0;
      dialog.set_focus(IDT_SCREEN);
      return 1;
    case IDB_SEND:
      if (hex_run == 1 && !hex_xmodem_busy && !hex_dump_busy) hex_send_msg(dialog);
      return 1;
    case IDC_MSG: if (code == Notification::KillFocus) hex_msg_remember(dialog); return 1;
    case IDB_SUM: hex_checksum(dialog); return 1;
    // Every report of the frame type selector applies its presets, not only a change of selection.
    case IDC_FRAME: hex_frameChanged(dialog); return 1;
    case IDB_FRAME: hex_frameit(dialog); return 1;
    // File transfers are not built yet; their controls are greyed.
    case IDB_GO_FILE:
    case IDB_ABORT:
      return 1;
    default: return 0;
  }
}

}  // namespace

int hex_text_selected(DialogHost& hwnd) {
  const platform::Selection selection = hwnd.screen().selection();
  return selection.cpMin != selection.cpMax ? 1 : 0;
}

int InitializeApp(DialogHost& hDlg) {
  hex_hwnd = &hDlg;
  platform::DisplaySurface& screen = hDlg.screen();
  screen.set_default_colour(kDefaultTextColour);
  screen.set_key_events(true);
  win_init_periodic(hDlg);
  hDlg.set_focus(IDT_SCREEN);
  hex_init(hDlg);
  win_show_devices(hDlg);
  for (const int id : kUnbuiltControls) hDlg.set_enabled(id, false);
  return 1;
}

int DialogFunc(DialogHost& hwndDlg, const DialogMessage& msg) {
  switch (msg.kind) {
    case MessageKind::InitDialog:
      InitializeApp(hwndDlg);
      return 1;
    case MessageKind::Close:
      end_program(hwndDlg, 0);
      return 1;
    case MessageKind::Timer:
      if (msg.id == HEX_SCREEN_TIMER) {
        win_periodic(hwndDlg);
        return 1;
      }
      // The transfer and dump timers belong to file transfers, which are not built yet.
      return msg.id == HEX_XMODEM_TIMER || msg.id == HEX_DUMP_TIMER || msg.id == HEX_DUMP_ERR_TIMER;
    case MessageKind::Notify:
      if (msg.id == IDT_SCREEN && msg.filter != nullptr) keyboard_filter(hwndDlg, *msg.filter);
      return 0;
    case MessageKind::Command:
      return command(hwndDlg, msg.id, msg.code);
  }
  return 0;
}
