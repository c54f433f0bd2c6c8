// SHA-1 (FIPS 180-1): the hash inside a WS-Security password digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lansim {

class Sha1 {
 public:
  Sha1();
  void add(const std::uint8_t *data, std::size_t n);
  void add(std::string_view s) { add(reinterpret_cast<const std::uint8_t *>(s.data()), s.size()); }
  std::array<std::uint8_t, 20> finish();

 private:
  void block(const std::uint8_t *p);
  std::uint32_t h_[5];
  std::uint64_t length_ = 0;
  std::uint8_t buf_[64];
  std::size_t used_ = 0;
};

}  // namespace lansim
