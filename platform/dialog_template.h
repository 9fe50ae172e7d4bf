// A dialog described as data: its caption, size and every control with id, kind, caption and box in
// dialog units. Both hosts build their controls from it.
#pragma once

#include <span>
#include <string_view>

namespace platform {

enum class ControlKind {
  Display,         // the trace display
  Selector,        // drop-down list with an edit field
  ThreeState,      // three-state check box (status indicator)
  PushCheck,       // push-like check box
  PushRadio,       // push-like radio button; `group` ties the buttons of one choice
  PushButton,      // push button
  GroupBox,        // frame with a caption
  Label,           // static text, right-aligned
  LabelLeft,       // static text, left-aligned
  StatusLine,      // sunken static text, left-aligned
  ProgressLine,    // sunken static text, right-aligned
};

struct DialogUnits {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct ControlTemplate {
  int id = -1;  // -1 for labels and group boxes that nothing addresses
  ControlKind kind = ControlKind::LabelLeft;
  std::string_view caption;
  DialogUnits box;
  int group = 0;  // radio buttons with the same non-zero group exclude each other
};

struct DialogTemplate {
  std::string_view caption;
  DialogUnits size;
  std::string_view font_face;
  int font_points = 8;
  std::span<const ControlTemplate> controls;

  const ControlTemplate* find(int id) const {
    for (const ControlTemplate& control : controls)
      if (control.id == id) return &control;
    return nullptr;
  }
};

}  // namespace platform
