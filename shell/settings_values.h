// The settings kept between runs as the store holds them: texts under keys named as the command
// line names the settings, one group per terminal port and one per part of the window:
//   port-a/device, port-a/baud, port-a/databits, port-a/stopbits, port-a/parity, port-a/flow (and
//   the same under port-b), display/view, display/local-echo, send/port, frame/type, frame/check,
//   messages/1 .. messages/10 (the list, oldest first), window/x, window/y, window/width,
//   window/height, window/maximized, terminal/size (columns x rows: 132x43), terminal/decoding
//   (utf-8, latin-1), terminal/backspace (del, bs).
// Each value is read as the command line reads its own option (a rate, "even", "hex"...) and
// becomes the text its control shows; it is written back in the command line's words.
#pragma once

#include <string>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/settings_store.h"
#include "shell/start_settings.h"

// The settings `values` hold. Each key of the program's whose value cannot be used is added to
// `refused`; keys it does not know are passed over.
StartSettings settings_from_values(const platform::SettingsValues& values, std::vector<std::string>& refused);
// The kept settings of `settings` (not the log or capture) as the store holds them.
platform::SettingsValues values_of(const StartSettings& settings);
// The kept settings the dialog is running with.
StartSettings dialog_settings(const platform::DialogHost& dialog);

// True for every key the program writes; the store's other keys are someone else's.
bool is_settings_key(const std::string& key);
// The key of terminal port `port`'s device.
std::string device_key(int port);
