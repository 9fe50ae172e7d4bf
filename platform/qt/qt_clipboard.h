// The display's copy, cut and paste through the desktop's clipboard.
#pragma once

#include <string>
#include <string_view>

#include "platform/text_model.h"

namespace platform {

class QtClipboard final : public Clipboard {
 public:
  // The display's bytes are Latin-1 text.
  void set_text(std::string_view text) override;
  // Characters beyond Latin-1 are left out, and line breaks become single LFs.
  std::string text() override;
};

}  // namespace platform
