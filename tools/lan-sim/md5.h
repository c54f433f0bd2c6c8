// MD5 (RFC 1321): the digest a firmware upload sends after each file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lansim {

class Md5 {
 public:
  Md5();
  void add(const std::uint8_t *data, std::size_t n);
  std::array<std::uint8_t, 16> finish();

 private:
  void block(const std::uint8_t *p);
  std::uint32_t s_[4];
  std::uint64_t length_ = 0;
  std::uint8_t buf_[64];
  std::size_t used_ = 0;
};

}  // namespace lansim
