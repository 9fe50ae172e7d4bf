#include "views/paste_pacer.h"

#include <algorithm>
#include <utility>

void PastePacer::start(std::string bytes) {
  bytes_ = std::move(bytes);
  sent_ = 0;
}

void PastePacer::stop() {
  bytes_.clear();
  sent_ = 0;
}

std::string_view PastePacer::take(std::size_t budget) {
  const std::string_view rest = std::string_view(bytes_).substr(sent_);
  std::size_t length = std::min(std::max<std::size_t>(budget, 1), rest.size());
  if (const std::size_t line_end = rest.find('\r'); line_end < length) length = line_end + 1;
  sent_ += length;
  return rest.substr(0, length);
}

std::size_t line_bytes_in(unsigned rate, unsigned milliseconds) {
  constexpr unsigned long long kBitsPerCharacter = 10;
  const unsigned long long bytes = static_cast<unsigned long long>(rate) * milliseconds / 1000 / kBitsPerCharacter;
  return static_cast<std::size_t>(std::max<unsigned long long>(bytes, 1));
}
