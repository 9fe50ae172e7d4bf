// Saved settings come from a file anyone may edit (keys and values NUL-separated in the input, in
// pairs): reading them never fails hard, every value kept is one its control can show, and what is
// kept reads back the same once written, so a file the program wrote is always taken whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "shell/settings_values.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> texts(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      texts.emplace_back();
    else
      texts.back() += static_cast<char>(data[i]);
  }
  platform::SettingsValues values;
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) values[texts[i]] = texts[i + 1];

  std::vector<std::string> refused;
  const StartSettings settings = settings_from_values(values, refused);
  require(refused.size() <= values.size());
  const platform::SettingsValues written = values_of(settings);
  std::vector<std::string> refused_again;
  require(settings_from_values(written, refused_again) == settings);
  require(refused_again.empty());
  require(values_of(settings_from_values(written, refused_again)) == written);
  return 0;
}
