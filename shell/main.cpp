// Program entry: the main dialog, run until the user ends it.
#include <QApplication>

#include "platform/qt/qt_dialog_host.h"
#include "shell/dialog.h"
#include "core/dialog_template.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quillport");
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  dialog.exec();
  return 0;
}
