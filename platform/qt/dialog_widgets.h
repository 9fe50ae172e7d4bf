// The widgets of the dialog, built from its template: the window and one Qt widget per control, at
// its place in dialog units converted to pixels of the window's font.
//
// How it works
//   The window and each control report what the user does as dialog messages through `post` (a
//   selector's list opening, its focus, its typed text, Enter in it; the close box, Escape), and a
//   button's click through `clicked`, which the host turns into a message after unchecking the
//   other radio buttons of its group. The host answers the control API on the widgets built here;
//   nothing here reads or sets a control's state afterwards.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

class QComboBox;
class QWidget;

namespace platform {

class DisplaySurface;
class ScreenWidget;

QString from_utf8(std::string_view text);
std::string to_utf8(const QString& text);

struct ControlEvents {
  std::function<void(const DialogMessage& message)> post;
  std::function<void(int id)> clicked;
};

// The window itself: its close box, Escape and Enter are the dialog's, not Qt's.
class DialogWindow final : public QDialog {
 public:
  explicit DialogWindow(ControlEvents events) : events_(std::move(events)) {}

  // Qt's own ways of accepting or rejecting a dialog would hide it behind the procedure's back:
  // the window ends only through the host's end_dialog, and a rejection is the dialog manager's
  // cancel.
  void accept() override {}
  void reject() override;
  // What the window and its controls report through; they live as long as the window.
  const ControlEvents& events() const { return events_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ControlEvents events_;
};

struct DialogControl {
  const ControlTemplate* layout = nullptr;
  QWidget* widget = nullptr;
};

struct DialogWidgets {
  std::unique_ptr<DialogWindow> window;
  std::map<int, DialogControl> controls;  // by id; controls without one are the window's alone
  ScreenWidget* screen = nullptr;         // the display, nullptr when the template has none
  QSize base_units;                       // pixels of 4 by 8 dialog units
};

// Builds the window for `dialog`, its display showing `surface`. Not shown yet.
DialogWidgets build_dialog_widgets(const DialogTemplate& dialog, DisplaySurface& surface, ControlEvents events);

}  // namespace platform
