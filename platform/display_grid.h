// The display's grid: rows of at most 80 characters, a page of 25 rows.
#pragma once

namespace platform {

inline constexpr int kDisplayColumns = 80;
inline constexpr int kDisplayPageRows = 25;

}  // namespace platform
