#include "shell/start_settings.h"

#include <utility>

#include "core/resource.h"
#include "platform/desktop.h"
#include "serial/devices.h"
#include "shell/dialog.h"

using platform::DialogHost;
using platform::MessageKind;
using platform::Notification;

namespace {

struct PortControls {
  int speed;
  int data;
  int stop;
  int parity;
  int flow;
};
constexpr PortControls kControls[HEX_MAX_PORT] = {
    {IDC_SPEED1, IDC_DATA1, IDC_STOP1, IDC_PARITY1, IDC_FLOW1},
    {IDC_SPEED2, IDC_DATA2, IDC_STOP2, IDC_PARITY2, IDC_FLOW2}};

StartSettings& kept() {
  static StartSettings settings;
  return settings;
}

template <class T>
void take(std::optional<T>& base, const std::optional<T>& given) {
  if (given) base = given;
}

// The boxes and prompt of the handlers a start setting goes through: the prompt for a log is
// answered with the file given, and boxes reach the window unless they are no news.
class StartDesktop final : public platform::Desktop {
 public:
  StartDesktop(std::optional<std::string> file, bool quiet)
      : window_(platform::desktop()), file_(std::move(file)), quiet_(quiet), installation_(*this) {}

  void message_box(std::string_view text, std::string_view caption) override {
    if (!quiet_) window_.message_box(text, caption);
  }
  std::optional<std::string> open_file_prompt(const platform::FilePrompt& prompt) override {
    // The user named the file on the command line: that is the answer, a file there replaced.
    return file_ ? file_ : window_.open_file_prompt(prompt);
  }

 private:
  platform::Desktop& window_;
  std::optional<std::string> file_;
  bool quiet_;
  platform::DesktopInstallation installation_;  // last: installed once the rest is set
};

int report(DialogHost& dialog, int id, Notification code) {
  return DialogFunc(dialog, {MessageKind::Command, id, code, nullptr});
}

// As a click on the entry `text` names in selector `id`'s list.
void choose(DialogHost& dialog, int id, const std::optional<std::string>& text) {
  if (!text) return;
  const int entry = hex_entry_named(dialog, id, *text);
  if (entry < 0) return;
  dialog.select_entry(id, entry);
  report(dialog, id, Notification::SelChange);
}

// As a rate typed into the Speed field and Enter pressed, so a rate off the list works as it
// does there.
void type_rate(DialogHost& dialog, int id, const std::optional<std::string>& rate) {
  if (!rate) return;
  dialog.set_text(id, *rate);
  report(dialog, id, Notification::Enter);
}

void apply_port(DialogHost& dialog, int port, const PortStartSettings& given) {
  // An absent port waits for its device and gets the stored settings when it opens; that its
  // serial port is not open now is no news to the user who named it.
  const StartDesktop boxes(std::nullopt, hex_obj[port].present == 0);
  const PortControls& controls = kControls[port];
  type_rate(dialog, controls.speed, given.speed);
  choose(dialog, controls.data, given.data_bits);
  choose(dialog, controls.stop, given.stop_bits);
  choose(dialog, controls.parity, given.parity);
  choose(dialog, controls.flow, given.flow);
}

void click(DialogHost& dialog, int id) { report(dialog, id, Notification::Clicked); }

void set_local_echo(DialogHost& dialog, std::optional<bool> on) {
  if (!on) return;
  dialog.set_check(IDC_ECHO, *on ? platform::Check::Checked : platform::Check::Unchecked);
  click(dialog, IDC_ECHO);
}

void choose_send_port(DialogHost& dialog, std::optional<int> port) {
  if (!port) return;
  const int button = *port == 0 ? IDR_COM1 : IDR_COM2;
  dialog.check_radio(IDR_COM1, IDR_COM2, button);
  click(dialog, button);
}

// Each typed into the message field, which is then left: the list takes them as it takes the
// user's. The field is then empty, as at every start.
void type_messages(DialogHost& dialog, const std::optional<std::vector<std::string>>& messages) {
  if (!messages) return;
  for (const std::string& message : *messages) {
    dialog.set_text(IDC_MSG, message);
    report(dialog, IDC_MSG, Notification::KillFocus);
  }
  dialog.select_entry(IDC_MSG, hex_entry_holding(dialog, IDC_MSG, ""));
}

// The terminal's choices, as made in its menu.
void set_up_terminal(platform::TerminalSurface& terminal, const StartSettings& settings) {
  if (settings.terminal_size) terminal.set_size(*settings.terminal_size);
  if (settings.terminal_decoding) terminal.set_decoding(*settings.terminal_decoding);
  if (settings.terminal_backspace) terminal.set_backspace(*settings.terminal_backspace);
}

// As Capture clicked and its prompt answered with the file given.
void start_capture(DialogHost& dialog, const std::optional<std::string>& file) {
  if (!file) return;
  const StartDesktop answer(file, false);
  dialog.check_radio(IDR_CAPTURE, IDR_NOCAPTURE, IDR_CAPTURE);
  report(dialog, IDR_CAPTURE, Notification::Clicked);
}

void start_log(DialogHost& dialog, const std::optional<std::string>& file) {
  if (!file) return;
  const StartDesktop answer(file, false);
  dialog.check_radio(IDR_LOG, IDR_NOLOG, IDR_LOG);
  report(dialog, IDR_LOG, Notification::Clicked);
}

}  // namespace

void overlay(StartSettings& base, const StartSettings& given) {
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    PortStartSettings& to = base.ports[static_cast<std::size_t>(port)];
    const PortStartSettings& from = given.ports[static_cast<std::size_t>(port)];
    take(to.device, from.device);
    take(to.speed, from.speed);
    take(to.data_bits, from.data_bits);
    take(to.stop_bits, from.stop_bits);
    take(to.parity, from.parity);
    take(to.flow, from.flow);
  }
  take(base.view, given.view);
  take(base.frame, given.frame);
  take(base.check, given.check);
  take(base.local_echo, given.local_echo);
  take(base.send_port, given.send_port);
  take(base.messages, given.messages);
  take(base.placement, given.placement);
  take(base.terminal_size, given.terminal_size);
  take(base.terminal_decoding, given.terminal_decoding);
  take(base.terminal_backspace, given.terminal_backspace);
  take(base.log, given.log);
  take(base.capture, given.capture);
  base.no_config = base.no_config || given.no_config;
}

void win_bind_start_devices(const StartSettings& settings) {
  // Terminal port i opens COM(i+1) at start: naming that number's device here (ahead of the
  // QUILLPORT_COM<k> variables and the scan) opens the given device first and only it.
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    if (const auto& device = settings.ports[static_cast<std::size_t>(port)].device)
      serial::bind_device(port, *device);
}

void win_set_start_settings(const StartSettings& settings) {
  kept() = settings;
  win_bind_start_devices(settings);
}

void win_apply_start_settings(DialogHost& hwndDlg) {
  const StartSettings settings = std::exchange(kept(), StartSettings{});
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    apply_port(hwndDlg, port, settings.ports[static_cast<std::size_t>(port)]);
  if (settings.placement) hwndDlg.place(*settings.placement);
  choose(hwndDlg, IDC_FRAME, settings.frame);
  choose(hwndDlg, IDC_SUM, settings.check);
  set_up_terminal(hwndDlg.terminal(), settings);
  choose(hwndDlg, IDC_VIEW, settings.view);
  set_local_echo(hwndDlg, settings.local_echo);
  choose_send_port(hwndDlg, settings.send_port);
  type_messages(hwndDlg, settings.messages);
  start_log(hwndDlg, settings.log);
  start_capture(hwndDlg, settings.capture);
}
