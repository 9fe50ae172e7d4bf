// Program entry: the command line is read first, so --help, --version, --list and a bad option
// need no display; then the saved settings, with the command line's over them (unless it says
// --no-config); then the main dialog runs until the user ends it, or a signal (SIGINT, SIGTERM,
// SIGHUP) ends it the way Exit does, so the settings are saved, the log gets its closing lines and
// the ports their settings back. Should that not be done in a few seconds (the UI thread stuck in a
// call), the ports' settings are put back from the signal handler and the process ends at once.
#include <QApplication>

#include <cstdio>
#include <span>

#include "core/dialog_template.h"
#include "platform/qt/qt_dialog_host.h"
#include "platform/qt/settings_file.h"
#include "platform/shutdown_signals.h"
#include "serial/exit_restore.h"
#include "shell/command_line.h"
#include "shell/dialog.h"
#include "shell/saved_settings.h"

int main(int argc, char* argv[]) {
  const CommandLine line = parse_command_line(std::span<char* const>(argv, static_cast<std::size_t>(argc)));
  if (line.action != StartAction::Run) return win_answer_command_line(line, stdout, stderr);
  // Qt sees the program's name alone: the options are ours, and Qt's own (-style, -reverse...)
  // must not take a value meant for one of them, such as a log file named "-reverse".
  int qt_argc = 1;
  QApplication application(qt_argc, argv);
  QApplication::setApplicationName("Quillport");
  // Desktops match the window to its menu entry (and icon) by this name.
  QApplication::setDesktopFileName("org.quillport.Quillport");
  platform::SettingsFile settings(platform::default_settings_path());
  win_set_start_settings(win_load_settings(settings, line.settings, stderr));
  platform::QtDialogHost dialog(quillport_dialog(), DialogFunc);
  platform::set_shutdown_last_resort(serial::restore_lines_now);
  dialog.exit_on_signals();
  dialog.exec();
  return 0;
}
