#include "tests/qt/test_dialog.h"

#include <array>

#include "platform/dialog_host.h"

namespace qttest {
namespace {

using platform::ControlKind;

constexpr int kRunGroup = 1;
constexpr int kPortGroup = 2;
constexpr int kNoId = -1;

constexpr auto kControls = std::to_array<platform::ControlTemplate>({
    {kScreen, ControlKind::Display, "", {6, 11, 356, 265}},
    {kNoId, ControlKind::GroupBox, "Settings", {366, 7, 95, 126}},
    {kNoId, ControlKind::Label, "Speed", {369, 43, 40, 8}},
    {kSpeed, ControlKind::Selector, "", {413, 41, 43, 55}},
    {kNoId, ControlKind::Label, "Parity", {369, 92, 40, 8}},
    {kParity, ControlKind::Selector, "", {413, 90, 43, 55}},
    {kIndicator, ControlKind::ThreeState, "", {371, 115, 13, 10}},
    {kEcho, ControlKind::PushCheck, "Local Echo", {372, 185, 39, 11}},
    {kClear, ControlKind::PushButton, "Clear", {417, 185, 39, 11}},
    {kStop, ControlKind::PushRadio, "Stop", {372, 207, 39, 11}, kRunGroup},
    {kRun, ControlKind::PushRadio, "Run", {417, 207, 39, 11}, kRunGroup},
    {kPortA, ControlKind::PushRadio, "Port A", {372, 246, 39, 11}, kPortGroup},
    {kPortB, ControlKind::PushRadio, "Port B", {417, 246, 39, 11}, kPortGroup},
    {kNoId, ControlKind::LabelLeft, "Edit Message(s) to Send:", {6, 285, 100, 8}},
    {kMessage, ControlKind::Selector, "", {6, 297, 311, 55}},
    {kSend, ControlKind::PushButton, "Send", {322, 299, 39, 11}},
    {IDCANCEL, ControlKind::PushButton, "Exit", {495, 296, 40, 14}},
    {kStatus, ControlKind::StatusLine, "", {205, 346, 157, 12}},
    {kProgress, ControlKind::ProgressLine, "", {366, 346, 195, 12}},
});

constexpr platform::DialogTemplate kDialog{"Widget test", {0, 0, 567, 364}, "Helv", 8, kControls, {}};

}  // namespace

const platform::DialogTemplate& test_dialog() { return kDialog; }

}  // namespace qttest
