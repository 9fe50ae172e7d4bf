// The program's window built as main builds it, for a test to end with a signal: it opens a log
// through its Log button (the prompt answered with the path given) and, asked to, then shows the
// box of a failed setting and waits in it, or holds its UI thread in a read that never returns.
// The lines come from QUILLPORT_COM<k>.
// Usage: quillport_signalled_window <log path> [box|hang]
#include <QApplication>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "core/dialog_template.h"
#include "core/resource.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/shutdown_signals.h"
#include "serial/exit_restore.h"
#include "shell/dialog.h"

namespace {

// A read of a pipe whose writer never writes: the UI thread waits here for good, as it would in a
// read of /proc/kmsg, and a signal's handler returns to the read.
[[noreturn]] void hang() {
  int ends[2];
  if (::pipe(ends) != 0) std::abort();
  char byte;
  for (;;) static_cast<void>(::read(ends[0], &byte, 1));
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  const std::string log = argv[1];
  const std::string mode = argc > 2 ? argv[2] : "";
  QApplication application(argc, argv);
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  dialog.set_file_prompt_handler([&log](const platform::FilePrompt&) { return std::optional(log); });
  platform::set_shutdown_last_resort(serial::restore_lines_now);
  dialog.exit_on_signals();
  QTimer::singleShot(0, &application, [&dialog, mode] {
    dialog.dispatch_command(IDR_LOG);
    if (mode == "hang") QTimer::singleShot(0, [] { hang(); });
    if (mode != "box") return;
    // Port B has no device, so a new parity cannot be applied: the box waits for its user.
    dialog.select_entry(IDC_PARITY2, 1);
    dialog.dispatch_command(IDC_PARITY2, platform::Notification::SelChange);
  });
  dialog.exec();
  return 0;
}
