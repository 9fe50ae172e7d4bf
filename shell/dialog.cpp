#include "shell/dialog.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "core/hex.h"
#include "core/hex_capture.h"
#include "core/hex_checksum.h"
#include "core/hex_dump.h"
#include "core/hex_frame.h"
#include "core/hex_log.h"
#include "core/hex_message.h"
#include "core/hex_report.h"
#include "core/hex_transfer.h"
#include "core/hex_xmodem.h"
#include "core/line_record.h"
#include "core/port_claim.h"
#include "core/port_presentation.h"
#include "core/port_readers.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/net_address.h"
#include "shell/pump.h"
#include "shell/replay.h"
#include "shell/saved_settings.h"
#include "shell/start_settings.h"
#include "views/ansi_terminal.h"
#include "views/terminal_view.h"
#include "views/view_switch.h"

using platform::Check;
using platform::DialogHost;
using platform::DialogMessage;
using platform::KeyMessage;
using platform::MessageKind;
using platform::MsgFilter;
using platform::Notification;

namespace {

constexpr platform::Colour kDefaultTextColour = 0x0000FF00;  // green

bool is_checked(DialogHost& dialog, int id) { return dialog.check(id) == Check::Checked; }

// Every way of ending the program saves the settings and closes the ports and the log properly
// before the dialog ends.
void end_program(DialogHost& dialog, int result) {
  win_save_settings(dialog);
  win_replay_end(dialog);
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

// Keys whose key-down sends a sequence and is then passed on to the display unchanged.
struct KeySender {
  int vk;
  int (*send)();
};
constexpr KeySender kKeySenders[] = {
    {platform::VK_RETURN, hex_ansi_return}, {platform::VK_PRIOR, hex_ansi_pg_up},
    {platform::VK_NEXT, hex_ansi_pg_dn},    {platform::VK_END, hex_ansi_end},
    {platform::VK_HOME, hex_ansi_home},     {platform::VK_LEFT, hex_ansi_left},
    {platform::VK_UP, hex_ansi_up},         {platform::VK_RIGHT, hex_ansi_right},
    {platform::VK_DOWN, hex_ansi_down},
};

// Return in the ANSI view sends CR LF with its key-down; the CR character the same press then types
// is that key's echo, not a second send.
bool return_sent_on_key_down = false;

// A key whose bytes were not sent does nothing in the display: nothing is echoed of it.
void key_down(DialogHost& dialog, MsgFilter& filter) {
  return_sent_on_key_down = false;
  switch (filter.code) {
    case platform::VK_ESCAPE:
      hex_ansi_escape();
      filter.code = 0;
      return;
    case platform::VK_DELETE:
      filter.code = hex_ansi_back() ? platform::VK_BACK : 0;
      if (filter.code != 0) hex_place_echo(dialog);
      return;
    case platform::VK_BACK:
      // Backspace's byte is sent with its character, which follows; it erases only once sent.
      filter.code = 0;
      return;
    default:
      break;
  }
  for (const KeySender& key : kKeySenders) {
    if (key.vk != filter.code) continue;
    if (!key.send())
      filter.code = 0;
    else if (key.vk == platform::VK_RETURN)
      return_sent_on_key_down = hex_view_mode == HEX_ANSI_VIEW;
  }
}

void character(DialogHost& dialog, MsgFilter& filter) {
  const int ch = filter.code;
  const bool clipboard_key = ch == 0x03 || ch == 0x16 || ch == 0x18;
  // With a selection, Ctrl+C, Ctrl+V and Ctrl+X are the display's copy, paste and cut.
  if (clipboard_key && hex_text_selected(dialog)) return;
  if (std::exchange(return_sent_on_key_down, false) && ch == '\r') {
    hex_ansi_echo(dialog);
    return;
  }
  if (!hex_ansi_char(dialog, ch)) {
    filter.code = 0;
    return;
  }
  if (ch == platform::VK_BACK && hex_local_echo != 0) dialog.screen().backspace();
}

void keyboard_filter(DialogHost& dialog, MsgFilter& filter) {
  bool back_door = false;
  if (filter.msg == KeyMessage::KeyDown && filter.code == platform::VK_PROCESSKEY) {
    back_door = true;
    filter.code = hex_escape_code;
  } else if (filter.msg == KeyMessage::KeyDown) {
    key_down(dialog, filter);
  } else {
    character(dialog, filter);
  }
  // Without local echo the display shows nothing typed; only injected keys still move its caret.
  if (!back_door && hex_local_echo == 0) filter.code = 0;
}

int command(DialogHost& dialog, int id, Notification code);

// Selectors whose field a user may type into, the message entry aside.
constexpr int kSettingSelectors[] = {IDC_PORTA,   IDC_SPEED1, IDC_DATA1,   IDC_STOP1, IDC_PARITY1, IDC_FLOW1,
                                     IDC_PORTB,   IDC_SPEED2, IDC_DATA2,   IDC_STOP2, IDC_PARITY2, IDC_FLOW2,
                                     IDC_VIEW,    IDC_SUM,    IDC_PROTOCOL, IDC_FRAME};

std::string_view without_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A network address typed into a Comm Port selector binds the COM number chosen there to it; one that
// cannot be read is refused with the reason.
int bind_typed_address(DialogHost& dialog, int id, std::string_view typed) {
  const serial::ParsedAddress parsed = serial::parse_net_address(typed);
  if (!parsed.address) {
    hex_dbg_msg(("Not a network port: " + parsed.error).c_str());
    dialog.select_entry(id, dialog.selected_entry(id));
    return 1;
  }
  serial::bind_device(dialog.selected_entry(id), serial::address_text(*parsed.address));
  return command(dialog, id, Notification::SelChange);
}

// The user is done with a setting's field (it lost the focus, or Enter was pressed in it). Typed
// text takes effect only as an entry it names, chosen as from the list (or, in Speed, as a rate);
// anything else gives way to the value in effect, so the window never shows a setting that is not
// on the line.
int typed_text_done(DialogHost& dialog, int id) {
  if (id == IDC_SPEED1 || id == IDC_SPEED2) {
    (id == IDC_SPEED1 ? hex_speed1KillFocus : hex_speed2KillFocus)(dialog);
    return 1;
  }
  const std::string typed = dialog.text(id);
  if ((id == IDC_PORTA || id == IDC_PORTB) && serial::is_network_address(without_blanks(typed)))
    return bind_typed_address(dialog, id, without_blanks(typed));
  const int selected = dialog.selected_entry(id);
  const int named = hex_entry_named(dialog, id, typed);
  if (named >= 0 && named != selected) {
    dialog.select_entry(id, named);
    return command(dialog, id, Notification::SelChange);
  }
  dialog.select_entry(id, selected);
  return 1;
}

int command(DialogHost& dialog, int id, Notification code) {
  const bool selection_changed = code == Notification::SelChange;
  // A running transfer holds its port's settings and the bindings still (they are greyed; a field
  // left as it is greyed still reports).
  if (hex_transfer_holds(id)) return 1;
  if ((code == Notification::KillFocus || code == Notification::Enter) &&
      std::find(std::begin(kSettingSelectors), std::end(kSettingSelectors), id) != std::end(kSettingSelectors)) {
    const int handled = typed_text_done(dialog, id);
    // The frame type's presets follow every report of its selector, this one too.
    if (id != IDC_FRAME) return handled;
  }
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
    case IDC_PORTA: if (selection_changed) hex_PortASelChange(dialog); return 1;
    case IDC_PORTB: if (selection_changed) hex_PortBSelChange(dialog); return 1;
    case IDC_VIEW: if (selection_changed) hex_ViewSelChange(dialog); return 1;
    case IDR_LOG: hex_log_open(dialog); return 1;
    case IDR_NOLOG: hex_log_close(dialog); return 1;
    case IDR_CAPTURE: hex_capture_open(dialog); return 1;
    case IDR_NOCAPTURE: hex_capture_close(dialog); return 1;
    case IDC_REPLAY: win_replay_click(dialog); return 1;
    case IDC_PACED: return 1;  // a running replay looks at it every tick
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
      // Clear empties what the pane shows: the trace, or the terminal's screen and scrollback.
      if (hex_view_mode == HEX_TERMINAL_VIEW)
        dialog.terminal().clear();
      else
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
    // A transfer's port refuses the message and says so; the other port still sends.
    case IDB_SEND:
      if (hex_run == 1) hex_send_msg(dialog);
      return 1;
    case IDC_MSG: if (code == Notification::KillFocus) hex_msg_remember(dialog); return 1;
    case IDB_SUM: hex_checksum(dialog); return 1;
    // Every report of the frame type selector applies its presets, not only a change of selection.
    case IDC_FRAME: hex_frameChanged(dialog); return 1;
    case IDB_FRAME: hex_frameit(dialog); return 1;
    case IDB_GO_FILE: hex_file_transfer(dialog); return 1;
    case IDB_ABORT: hex_file_abort(dialog); return 1;
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
  hex_terminal_reset();
  platform::DisplaySurface& screen = hDlg.screen();
  screen.set_default_colour(kDefaultTextColour);
  screen.set_key_events(true);
  win_init_periodic(hDlg);
  hDlg.set_focus(IDT_SCREEN);
  hex_init(hDlg);
  hDlg.check_radio(IDR_CAPTURE, IDR_NOCAPTURE, IDR_NOCAPTURE);
  // Every block is stamped as it arrives, and every byte that crosses a line goes to the capture
  // and the taps.
  hex_record_start();
  hex_capture_follow();
  hex_readers_start();
  // The selectors exist now: their entries name the device behind each COM number.
  hex_show_devices(hDlg);
  return 1;
}

int DialogFunc(DialogHost& hwndDlg, const DialogMessage& msg) {
  switch (msg.kind) {
    case MessageKind::InitDialog:
      InitializeApp(hwndDlg);
      win_apply_start_settings(hwndDlg);
      win_note_settings(hwndDlg);
      hex_terminal_follow_view(hwndDlg);
      return 1;
    case MessageKind::Close:
      end_program(hwndDlg, 0);
      return 1;
    case MessageKind::Timer:
      switch (msg.id) {
        case HEX_SCREEN_TIMER:
          win_periodic(hwndDlg);
          hex_terminal_tick(hwndDlg);
          win_settings_tick(hwndDlg);
          return 1;
        case HEX_XMODEM_TIMER: hex_periodic_transfer(hwndDlg); return 1;
        case HEX_DUMP_TIMER: hex_periodic_dump(hwndDlg); return 1;
        case HEX_DUMP_ERR_TIMER: hex_file_abort(hwndDlg); return 1;
        default: return 0;
      }
    case MessageKind::Notify:
      if (msg.id == IDT_SCREEN && msg.filter != nullptr) keyboard_filter(hwndDlg, *msg.filter);
      if (msg.id == IDT_SCREEN && msg.input != nullptr) hex_terminal_input(hwndDlg, *msg.input);
      return 0;
    case MessageKind::Command: {
      const int handled = command(hwndDlg, msg.id, msg.code);
      // A view is chosen in more than one way (the View selector, a frame type's preset).
      hex_terminal_follow_view(hwndDlg);
      return handled;
    }
  }
  return 0;
}
