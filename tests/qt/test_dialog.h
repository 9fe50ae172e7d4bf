// A dialog for the widget tests: one or more controls of each kind the host builds, with ids of
// their own, laid out as the program's controls of those kinds are.
#pragma once

#include "platform/dialog_template.h"

namespace qttest {

inline constexpr int kScreen = 101;
inline constexpr int kSpeed = 110;     // selectors
inline constexpr int kParity = 111;
inline constexpr int kMessage = 112;
inline constexpr int kIndicator = 120;  // three-state
inline constexpr int kEcho = 130;       // push-like check box
inline constexpr int kClear = 131;      // push buttons
inline constexpr int kSend = 132;
inline constexpr int kStop = 140;  // push-like radio buttons, two choices of two
inline constexpr int kRun = 141;
inline constexpr int kPortA = 142;
inline constexpr int kPortB = 143;
inline constexpr int kStatus = 150;  // status and progress lines
inline constexpr int kProgress = 151;

const platform::DialogTemplate& test_dialog();

}  // namespace qttest
