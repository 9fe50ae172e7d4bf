// The program's window built as main builds it, for a test to end with a signal: it opens a log
// through its Log button (the prompt answered with the path given) and, asked to, then shows the
// box of a failed setting and waits in it. The lines come from QUILLPORT_COM<k>.
// Usage: quillport_signalled_window <log path> [box]
#include <QApplication>
#include <QTimer>

#include <optional>
#include <string>

#include "core/dialog_template.h"
#include "core/resource.h"
#include "platform/qt/qt_dialog_host.h"
#include "shell/dialog.h"

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  const std::string log = argv[1];
  const bool with_box = argc > 2 && std::string(argv[2]) == "box";
  QApplication application(argc, argv);
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  dialog.set_file_prompt_handler([&log](const platform::FilePrompt&) { return std::optional(log); });
  dialog.exit_on_signals();
  QTimer::singleShot(0, &application, [&dialog, with_box] {
    dialog.dispatch_command(IDR_LOG);
    if (!with_box) return;
    // Port B has no device, so a new parity cannot be applied: the box waits for its user.
    dialog.select_entry(IDC_PARITY2, 1);
    dialog.dispatch_command(IDC_PARITY2, platform::Notification::SelChange);
  });
  dialog.exec();
  return 0;
}
