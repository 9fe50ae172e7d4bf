// Program entry: the main dialog, run until the user ends it, or a signal (SIGINT, SIGTERM, SIGHUP)
// ends it the way Exit does, so the log gets its closing lines and the ports their settings back.
#include <QApplication>

#include "platform/qt/qt_dialog_host.h"
#include "shell/dialog.h"
#include "core/dialog_template.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quillport");
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  dialog.exit_on_signals();
  dialog.exec();
  return 0;
}
