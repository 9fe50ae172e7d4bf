// Settings kept between runs: read at start, laid under the command line's, saved when they change.
//
// How it works
//   At start win_load_settings reads the store (its keys: settings_values.h) and checks each value
//   as the command line checks its own; a value that cannot be used is left out (its setting keeps
//   its default), and one line says which, on stderr and later in the progress line. The command
//   line is laid over the rest; a saved device gives way to QUILLPORT_COM<k> as well. What comes of
//   it is replayed like any start setting (start_settings.h). Once the dialog is initialised
//   win_note_settings takes the settings it shows as the start; from then on win_save_settings
//   (once a second, and at exit) writes the dialog's settings when they differ from the last ones
//   written or started with, so the store is written only after the user changed something. A
//   setting given for this run (on the command line, or by the variable) is written as the store
//   had it unless the user changed it; keys the program does not know are kept as they were.
#pragma once

#include <cstdio>

#include "platform/dialog_host.h"
#include "platform/settings_store.h"
#include "shell/start_settings.h"

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
