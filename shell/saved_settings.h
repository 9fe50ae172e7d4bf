// Settings kept between runs: read at start, laid under the command line's, saved when they change.
//
// How it works
//   The store holds texts under keys named as the command line names the settings, one group per
//   terminal port and one per part of the window:
//     port-a/device, port-a/baud, port-a/databits, port-a/stopbits, port-a/parity, port-a/flow
//     (and the same under port-b), display/view, display/local-echo, send/port, frame/type,
//     frame/check, messages/1 .. messages/10 (the list, oldest first), window/x, window/y,
//     window/width, window/height, window/maximized.
//   At start win_load_settings reads the store and checks each value as the command line checks
//   its own; a value that cannot be used is left out (its setting keeps its default), and one line
//   says which, on stderr and later in the progress line. The command line is laid over the rest;
//   a saved device gives way to QUILLPORT_COM<k> as well. What comes of it is replayed like any
//   start setting (start_settings.h). Once the dialog is initialised win_note_settings takes the
//   settings it shows as the start; from then on win_save_settings (once a second, and at exit)
//   writes the dialog's settings when they differ from the last ones written or started with, so
//   the store is written only after the user changed something. A setting given for this run (on
//   the command line, or by the variable) is written as the store had it unless the user changed
//   it; keys the program does not know are kept as they were.
#pragma once

#include <cstdio>
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

// Reads the saved settings from `store` and lays `given` over them; the settings the run starts
// with. `store` is kept, and saved to, until win_forget_settings. A store that could not be read
// whole is told on `err` in one line. With `given.no_config` the store is neither read nor kept.
StartSettings win_load_settings(platform::SettingsStore& store, const StartSettings& given, std::FILE* err);
// After the dialog's initialisation: what it shows now is the start.
void win_note_settings(platform::DialogHost& dialog);
// Each screen tick: saves once a second. The window's place is taken as started with at the first
// tick, once the desktop has put it there.
void win_settings_tick(platform::DialogHost& dialog);
// Writes the dialog's settings to the store when they changed since last written.
void win_save_settings(platform::DialogHost& dialog);
// Nothing is read or saved any more.
void win_forget_settings();
