// Text made of pieces in one allocation. A message or path built with `+` allocates again
// at nearly every piece; the fuzz targets run the tools' cores tens of thousands of times a
// second under AddressSanitizer, where each allocation costs a fraction of a microsecond.
#pragma once
#include <initializer_list>
#include <string>
#include <string_view>

namespace toolcommon {

inline std::string Joined(std::initializer_list<std::string_view> pieces) {
  size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string text;
  text.reserve(size);
  for (std::string_view piece : pieces) text.append(piece.data(), piece.size());
  return text;
}

}  // namespace toolcommon
