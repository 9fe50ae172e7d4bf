// The widgets of the dialog, built from its template: the window and one Qt widget per control, at
// its place in dialog units converted to pixels of the window's font.
//
// How it grows
//   The template's size is the window's smallest. A window made larger gives all the room it gains
//   to the template's stretching control (the trace); each other control keeps its size and its
//   distance to the edges the template ties it to (growth in dialog_template.h), so the controls
//   keep their order and none goes out of sight. A template without a stretching control makes a
//   window of one size.
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

#include <QRect>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/dialog_template.h"

class QComboBox;
class QWidget;

namespace platform {

class DisplaySurface;
class ScreenWidget;
class TerminalSurface;
class TerminalWidget;

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

  // How a control follows the window's growth: flags of Follow.
  enum Follow { kStays = 0, kStretches = 1, kRight = 2, kBottom = 4 };
  // Keeps `control`, placed at `base` at the window's smallest size, where `how` says as the
  // window grows.
  void follow(QWidget* control, const QRect& base, int how);
  // The frame's top left and the size inside it, as they are when the window is neither
  // maximised nor full screen (then: as it was last so).
  QRect normal_placement() const;
  // The place and size the window takes back when it is restored.
  void set_normal_placement(const QRect& placement) { normal_ = placement; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  struct Follower {
    QWidget* control;
    QRect base;
    int how;
  };
  bool normal() const;
  void remember_placement();

  ControlEvents events_;
  std::vector<Follower> followers_;
  QRect normal_;
};

struct DialogControl {
  const ControlTemplate* layout = nullptr;
  QWidget* widget = nullptr;
};

struct DialogWidgets {
  std::unique_ptr<DialogWindow> window;
  std::map<int, DialogControl> controls;  // by id; controls without one are the window's alone
  ScreenWidget* screen = nullptr;         // the display, nullptr when the template has none
  TerminalWidget* terminal = nullptr;     // in the display's place, hidden until shown
  QSize base_units;                       // pixels of 4 by 8 dialog units
};

// Builds the window for `dialog`, its display showing `surface` and, in its place when shown,
// `terminal`. Not shown yet.
DialogWidgets build_dialog_widgets(const DialogTemplate& dialog, DisplaySurface& surface, TerminalSurface& terminal,
                                   ControlEvents events);

}  // namespace platform
