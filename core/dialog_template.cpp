#include "core/dialog_template.h"

#include <array>

#include "core/resource.h"

namespace {

using platform::ControlKind;
using platform::ControlTemplate;

// Radio groups: buttons of one choice exclude each other.
constexpr int kRunGroup = 1;
constexpr int kTransferGroup = 2;
constexpr int kSendPortGroup = 3;
constexpr int kLogGroup = 4;
constexpr int kCaptureGroup = 5;

constexpr int kNoId = -1;

constexpr auto kControls = std::to_array<ControlTemplate>({
    {IDT_SCREEN, ControlKind::Display, "", {6, 11, 356, 265}},

    {kNoId, ControlKind::GroupBox, "Port A Settings", {366, 7, 95, 126}},
    // The Comm Port field is wide enough for a whole entry ("COM1  ttyUSB0"); its label takes two
    // lines to make room.
    {kNoId, ControlKind::Label, "Comm Port", {368, 22, 21, 17}},
    {IDC_PORTA, ControlKind::Selector, "", {391, 24, 67, 55}},
    {kNoId, ControlKind::Label, "Speed", {369, 43, 40, 8}},
    {IDC_SPEED1, ControlKind::Selector, "", {413, 41, 43, 55}},
    {kNoId, ControlKind::Label, "Data bits", {369, 60, 40, 8}},
    {IDC_DATA1, ControlKind::Selector, "", {413, 58, 43, 55}},
    {kNoId, ControlKind::Label, "Stop bits", {369, 76, 40, 8}},
    {IDC_STOP1, ControlKind::Selector, "", {413, 74, 43, 35}},
    {kNoId, ControlKind::Label, "Parity", {369, 92, 40, 8}},
    {IDC_PARITY1, ControlKind::Selector, "", {413, 90, 43, 55}},
    {kNoId, ControlKind::Label, "Flow", {369, 108, 40, 8}},
    {IDC_FLOW1, ControlKind::Selector, "", {413, 106, 43, 55}},
    {IDC_COM1_STATE, ControlKind::ThreeState, "", {371, 115, 13, 10}},

    {kNoId, ControlKind::GroupBox, "Port B Settings", {466, 7, 95, 126}},
    {kNoId, ControlKind::Label, "Comm Port", {468, 22, 21, 17}},
    {IDC_PORTB, ControlKind::Selector, "", {491, 24, 67, 55}},
    {kNoId, ControlKind::Label, "Speed", {469, 43, 40, 8}},
    {IDC_SPEED2, ControlKind::Selector, "", {513, 41, 43, 55}},
    {kNoId, ControlKind::Label, "Data bits", {469, 60, 40, 8}},
    {IDC_DATA2, ControlKind::Selector, "", {513, 58, 43, 55}},
    {kNoId, ControlKind::Label, "Stop bits", {469, 76, 40, 8}},
    {IDC_STOP2, ControlKind::Selector, "", {513, 74, 43, 35}},
    {kNoId, ControlKind::Label, "Parity", {469, 92, 40, 8}},
    {IDC_PARITY2, ControlKind::Selector, "", {513, 90, 43, 55}},
    {kNoId, ControlKind::Label, "Flow", {469, 108, 40, 8}},
    {IDC_FLOW2, ControlKind::Selector, "", {513, 106, 43, 55}},
    {IDC_COM2_STATE, ControlKind::ThreeState, "", {471, 115, 11, 10}},

    {kNoId, ControlKind::GroupBox, "Display Settings", {366, 140, 96, 86}},
    {kNoId, ControlKind::Label, "View", {369, 158, 25, 8}},
    {IDC_VIEW, ControlKind::Selector, "", {397, 156, 59, 55}},
    {IDC_ECHO, ControlKind::PushCheck, "Local Echo", {372, 185, 39, 11}},
    {IDB_CLEAR, ControlKind::PushButton, "Clear", {417, 185, 39, 11}},
    {IDR_STOP, ControlKind::PushRadio, "Stop", {372, 207, 39, 11}, kRunGroup},
    {IDR_RUN, ControlKind::PushRadio, "Run", {417, 207, 39, 11}, kRunGroup},

    {kNoId, ControlKind::GroupBox, "File Transfer", {466, 140, 95, 86}},
    {kNoId, ControlKind::Label, "Protocol", {466, 158, 29, 8}},
    {IDC_PROTOCOL, ControlKind::Selector, "", {497, 156, 59, 55}},
    {IDR_GETFILE, ControlKind::PushRadio, "Get", {471, 185, 39, 11}, kTransferGroup},
    {IDR_SENDFILE, ControlKind::PushRadio, "Send", {517, 185, 39, 11}, kTransferGroup},
    {IDB_ABORT, ControlKind::PushButton, "Abort", {471, 207, 39, 11}},
    {IDB_GO_FILE, ControlKind::PushButton, "Start", {517, 207, 39, 11}},

    {kNoId, ControlKind::GroupBox, "Send Port", {366, 230, 95, 35}},
    {IDR_COM1, ControlKind::PushRadio, "Port A", {372, 246, 39, 11}, kSendPortGroup},
    {IDR_COM2, ControlKind::PushRadio, "Port B", {417, 246, 39, 11}, kSendPortGroup},

    {kNoId, ControlKind::GroupBox, "Log File", {466, 230, 95, 35}},
    {IDR_NOLOG, ControlKind::PushRadio, "No Log", {471, 246, 39, 11}, kLogGroup},
    {IDR_LOG, ControlKind::PushRadio, "Log", {517, 246, 39, 11}, kLogGroup},

    // A capture of both lines for Wireshark, and a capture replayed into the trace (at once, or at
    // its recorded pace when Paced is down).
    {kNoId, ControlKind::GroupBox, "Capture File", {466, 269, 95, 49}},
    {IDR_NOCAPTURE, ControlKind::PushRadio, "No Capture", {471, 279, 39, 11}, kCaptureGroup},
    {IDR_CAPTURE, ControlKind::PushRadio, "Capture", {517, 279, 39, 11}, kCaptureGroup},
    {IDC_REPLAY, ControlKind::PushCheck, "Replay", {471, 299, 39, 11}},
    {IDC_PACED, ControlKind::PushCheck, "Paced", {517, 299, 39, 11}},

    {kNoId, ControlKind::GroupBox, "Frame Type", {366, 269, 95, 49}},
    {IDC_SUM, ControlKind::Selector, "", {371, 279, 40, 55}},
    {IDC_FRAME, ControlKind::Selector, "", {415, 279, 40, 55}},
    {IDB_SUM, ControlKind::PushButton, "CheckSum", {371, 299, 39, 11}},
    {IDB_FRAME, ControlKind::PushButton, "Add Frame", {415, 299, 39, 11}},

    {kNoId, ControlKind::LabelLeft, "Edit Message(s) to Send:", {6, 285, 100, 8}},
    {IDC_MSG, ControlKind::Selector, "", {6, 297, 311, 55}},
    {IDB_SEND, ControlKind::PushButton, "Send", {322, 299, 39, 11}},
    {IDCANCEL, ControlKind::PushButton, "Exit", {521, 324, 40, 14}},

    {kNoId, ControlKind::LabelLeft,
     "Quillport: two serial lines, every byte, in colour.\nA monitor and test terminal for RS-232.",
     {6, 321, 190, 18}},
    {IDT_STATUS, ControlKind::StatusLine, "", {205, 346, 157, 12}},
    {IDT_PROGRESS, ControlKind::ProgressLine, "", {366, 346, 195, 12}},
});

// The trace takes the room a larger window gives; the settings beside it keep to the right edge,
// and the message line, the frame type and the status lines below it to the bottom.
constexpr platform::DialogGrowth kGrowth{IDT_SCREEN, 364, 269};

constexpr platform::DialogTemplate kDialog{
    "Quillport version 3.11, October 2000", {0, 0, 567, 364}, "Helv", 8, kControls, kGrowth};

}  // namespace

const platform::DialogTemplate& quillport_dialog() { return kDialog; }
