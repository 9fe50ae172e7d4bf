// Program entry: the main dialog, run until the user ends it, or a signal (SIGINT, SIGTERM, SIGHUP)
// ends it the way Exit does, so the log gets its closing lines and the ports their settings back.
// Should that not be done in a few seconds (the UI thread stuck in a call), the ports' settings
// are put back from the signal handler and the process ends at once.
#include <QApplication>

#include "platform/qt/qt_dialog_host.h"
#include "platform/shutdown_signals.h"
#include "serial/exit_restore.h"
#include "shell/dialog.h"
#include "core/dialog_template.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quillport");
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  platform::set_shutdown_last_resort(serial::restore_lines_now);
  dialog.exit_on_signals();
  dialog.exec();
  return 0;
}
