// A camera's answer to a directory listing, built piece by piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vkttest {

struct ListingAnswer {
  std::vector<uint8_t> bytes;
  ListingAnswer& Word(int32_t w) {
    const auto* p = reinterpret_cast<const uint8_t*>(&w);
    bytes.insert(bytes.end(), p, p + 4);
    return *this;
  }
  ListingAnswer& Text(const std::string& s, bool terminate = true) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    if (terminate) bytes.push_back(0);
    return *this;
  }
};

}  // namespace vkttest
