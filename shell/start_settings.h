// Settings a run starts with: from the settings file, with the command line's laid over them.
//
// How it works: each setting is held as the text a user would choose or type in its control (the
// Speed field's rate, the other selectors' entries). win_set_start_settings keeps them for the
// dialog and binds the given devices at once: Port A's device becomes COM1 and Port B's COM2 for
// this run, so the dialog's initialisation opens exactly the devices named and no other device's
// lines are touched on the way. Once the dialog is initialised, win_apply_start_settings replays
// the rest through the dialog procedure, as the user's clicks and typing would reach it: a rate is
// typed into Speed and Enter pressed, an entry is chosen and its selection change reported, a
// button clicked, each message typed into the message field and the field left, Log clicked and
// its prompt answered with the given file. The frame type comes before the check type and the
// view, and the view before Local Echo, since choosing each of the first sets the ones after it.
// A setting given so behaves exactly like a chosen one. A port that is absent at start waits for
// its device as usual and gets its settings when it opens; its handlers' refusals meanwhile are no
// news and are not shown.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/hex.h"
#include "platform/dialog_host.h"

struct PortStartSettings {
  std::optional<std::string> device;  // a device path, a by-id link or a network address
  std::optional<std::string> speed;   // as typed in Speed: a listed rate or any other
  std::optional<std::string> data_bits;  // entries of the selectors: "7", "2", "EVEN", "RTS"
  std::optional<std::string> stop_bits;
  std::optional<std::string> parity;
  std::optional<std::string> flow;
  bool operator==(const PortStartSettings&) const = default;
};

struct StartSettings {
  std::array<PortStartSettings, HEX_MAX_PORT> ports;
  std::optional<std::string> view;     // an entry of the View selector
  std::optional<std::string> frame;    // an entry of the frame type selector
  std::optional<std::string> check;    // an entry of the check type selector
  std::optional<bool> local_echo;
  std::optional<int> send_port;        // 0 Port A, 1 Port B
  std::optional<std::vector<std::string>> messages;  // the message list, oldest first
  std::optional<platform::WindowPlacement> placement;
  std::optional<platform::TerminalSize> terminal_size;  // of the Terminal view's screen
  std::optional<terminal::Decoding> terminal_decoding;
  std::optional<terminal::BackspaceSends> terminal_backspace;
  std::optional<std::string> log;      // the HTML log to start
  std::optional<std::string> capture;  // the capture file to start
  bool no_config = false;              // start from defaults and save nothing
  bool operator==(const StartSettings&) const = default;
};

// Every setting `given` holds replaces the one of `base`: command-line values over saved ones.
void overlay(StartSettings& base, const StartSettings& given);

// Names the given devices as COM1 (Port A) and COM2 (Port B) for the rest of the run.
void win_bind_start_devices(const StartSettings& settings);

// Keeps `settings` for the next dialog initialisation and binds their devices now.
void win_set_start_settings(const StartSettings& settings);

// Replays the kept settings through the dialog procedure, once: called after the dialog's
// initialisation.
void win_apply_start_settings(platform::DialogHost& hwndDlg);
