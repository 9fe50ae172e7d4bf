#include "shell/saved_settings.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "core/hex.h"
#include "core/resource.h"
#include "shell/settings_values.h"

using platform::DialogHost;
using platform::SettingsStore;
using platform::SettingsValues;

namespace {

constexpr int kTicksPerSave = 1000 / static_cast<int>(HEX_TIME);

struct Keeper {
  SettingsStore* store = nullptr;
  std::FILE* err = stderr;
  SettingsValues loaded;              // the store as read, every key
  std::vector<std::string> run_only;  // keys whose start value holds for this run only
  StartSettings start;                // what the dialog showed once initialised
  StartSettings last;                 // what was last written, or the start
  std::string warning;                // what could not be read, for the progress line
  int ticks = 0;
  bool placement_noted = false;
};

Keeper& keeper() {
  static Keeper kept;
  return kept;
}

// "no usable value for a, b, c, d and 3 more"
std::string refused_text(const std::vector<std::string>& refused) {
  constexpr std::size_t kNamed = 4;
  std::string text = "no usable value for ";
  for (std::size_t i = 0; i < std::min(refused.size(), kNamed); ++i) text += (i > 0 ? ", " : "") + refused[i];
  if (refused.size() > kNamed) text += " and " + std::to_string(refused.size() - kNamed) + " more";
  return text;
}

// What could not be read, or "": "cannot be read (Permission denied)", "no usable value for ...".
std::string what_went_wrong(const std::string& trouble, const std::vector<std::string>& refused) {
  std::string text = trouble;
  if (!refused.empty()) text += (text.empty() ? "" : "; ") + refused_text(refused);
  return text;
}

// A device named by QUILLPORT_COM<k> for this run wins over the saved one of the port that opens COMk.
void give_way_to_variables(StartSettings& settings, std::vector<std::string>& run_only) {
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    const char* named = std::getenv(("QUILLPORT_COM" + std::to_string(port + 1)).c_str());
    if (named == nullptr || *named == '\0') continue;
    settings.ports[static_cast<std::size_t>(port)].device.reset();
    run_only.push_back(device_key(port));
  }
}

std::optional<std::string> value_at(const SettingsValues& values, const std::string& key) {
  const auto found = values.find(key);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

// The keys of others as the store had them, and the program's as the dialog has them, but for a
// setting given for this run that the user left as it was: that keeps the store's own value.
SettingsValues values_to_write(const Keeper& kept, const StartSettings& now) {
  SettingsValues values;
  for (const auto& [key, text] : kept.loaded)
    if (!is_settings_key(key)) values[key] = text;
  SettingsValues current = values_of(now);
  const SettingsValues at_start = values_of(kept.start);
  for (const std::string& key : kept.run_only) {
    if (value_at(current, key) != value_at(at_start, key)) continue;
    current.erase(key);
    if (const auto saved = value_at(kept.loaded, key)) current[key] = *saved;
  }
  for (auto& [key, text] : current) values[key] = std::move(text);
  return values;
}

// Shown by now: where the desktop put the window, or moved it to keep it on a screen, is no change
// of the user's.
void note_placement(Keeper& kept, const DialogHost& dialog) {
  if (kept.placement_noted) return;
  kept.placement_noted = true;
  kept.start.placement = kept.last.placement = dialog.placement();
}

}  // namespace

StartSettings win_load_settings(SettingsStore& store, const StartSettings& given, std::FILE* err) {
  Keeper& kept = keeper();
  kept = Keeper{};
  if (given.no_config) return given;
  kept.store = &store;
  kept.err = err;
  platform::SettingsReading reading = store.read();
  std::vector<std::string> refused = std::move(reading.unread);
  StartSettings settings = settings_from_values(reading.values, refused);
  kept.loaded = std::move(reading.values);
  give_way_to_variables(settings, kept.run_only);
  for (const auto& [key, text] : values_of(given)) kept.run_only.push_back(key);
  overlay(settings, given);
  kept.warning = what_went_wrong(reading.trouble, refused);
  if (!kept.warning.empty())
    std::fprintf(err, "quillport: %s: %s; defaults used instead\n", store.name().c_str(), kept.warning.c_str());
  return settings;
}

void win_note_settings(DialogHost& dialog) {
  Keeper& kept = keeper();
  if (kept.store == nullptr) return;
  kept.start = kept.last = dialog_settings(dialog);
  if (!kept.warning.empty()) dialog.set_text(IDT_PROGRESS, "Settings: " + kept.warning + "; defaults used");
}

void win_settings_tick(DialogHost& dialog) {
  Keeper& kept = keeper();
  if (kept.store == nullptr) return;
  if (!kept.placement_noted) return note_placement(kept, dialog);
  if (++kept.ticks % kTicksPerSave == 0) win_save_settings(dialog);
}

void win_save_settings(DialogHost& dialog) {
  Keeper& kept = keeper();
  if (kept.store == nullptr) return;
  note_placement(kept, dialog);  // ended before the first tick
  const StartSettings now = dialog_settings(dialog);
  if (now == kept.last) return;
  kept.last = now;
  const std::string why = kept.store->write(values_to_write(kept, now));
  if (why.empty()) return;
  // Told once: the next attempt is at the next change.
  std::fprintf(kept.err, "quillport: settings not saved: %s\n", why.c_str());
  dialog.set_text(IDT_PROGRESS, "Settings not saved: " + why);
}

void win_forget_settings() { keeper() = Keeper{}; }
