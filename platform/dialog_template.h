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

// How a dialog grows past its size, which is also its smallest: control `stretching` takes all the
// room added; controls that start `follow_right` dialog units or more across keep their distance to
// the right edge, those that start `follow_bottom` units or more down theirs to the bottom edge,
// and the others stay where they are. Without a stretching control the dialog keeps its size.
struct DialogGrowth {
  int stretching = -1;
  int follow_right = 0;
  int follow_bottom = 0;
};

struct DialogTemplate {
  std::string_view caption;
  DialogUnits size;
  std::string_view font_face;
  int font_points = 8;
  std::span<const ControlTemplate> controls;
  DialogGrowth growth;

  const ControlTemplate* find(int id) const {
    for (const ControlTemplate& control : controls)
      if (control.id == id) return &control;
    return nullptr;
  }
};

}  // namespace platform
