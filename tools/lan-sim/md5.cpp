#include "md5.h"

#include <algorithm>
#include <cstring>

namespace lansim {

namespace {

std::uint32_t rotl(std::uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

}  // namespace

Md5::Md5() : s_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buf_{} {}

// The 64 steps written out (RFC 1321, 3.4): no branches and no index arithmetic per step.
// A firmware upload hashes every byte the camera takes.
#define LANSIM_MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);                 \
  a = rotl(a, s) + b;

void Md5::block(const std::uint8_t *p) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = static_cast<std::uint32_t>(p[4 * i]) | (static_cast<std::uint32_t>(p[4 * i + 1]) << 8) |
           (static_cast<std::uint32_t>(p[4 * i + 2]) << 16) | (static_cast<std::uint32_t>(p[4 * i + 3]) << 24);
  std::uint32_t a = s_[0], b = s_[1], c = s_[2], d = s_[3];
  const auto F = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); };
  const auto G = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); };
  const auto H = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; };
  const auto I = [](std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); };
  LANSIM_MD5_STEP(F, a, b, c, d, m[0], 0xd76aa478, 7)
  LANSIM_MD5_STEP(F, d, a, b, c, m[1], 0xe8c7b756, 12)
  LANSIM_MD5_STEP(F, c, d, a, b, m[2], 0x242070db, 17)
  LANSIM_MD5_STEP(F, b, c, d, a, m[3], 0xc1bdceee, 22)
  LANSIM_MD5_STEP(F, a, b, c, d, m[4], 0xf57c0faf, 7)
  LANSIM_MD5_STEP(F, d, a, b, c, m[5], 0x4787c62a, 12)
  LANSIM_MD5_STEP(F, c, d, a, b, m[6], 0xa8304613, 17)
  LANSIM_MD5_STEP(F, b, c, d, a, m[7], 0xfd469501, 22)
  LANSIM_MD5_STEP(F, a, b, c, d, m[8], 0x698098d8, 7)
  LANSIM_MD5_STEP(F, d, a, b, c, m[9], 0x8b44f7af, 12)
  LANSIM_MD5_STEP(F, c, d, a, b, m[10], 0xffff5bb1, 17)
  LANSIM_MD5_STEP(F, b, c, d, a, m[11], 0x895cd7be, 22)
  LANSIM_MD5_STEP(F, a, b, c, d, m[12], 0x6b901122, 7)
  LANSIM_MD5_STEP(F, d, a, b, c, m[13], 0xfd987193, 12)
  LANSIM_MD5_STEP(F, c, d, a, b, m[14], 0xa679438e, 17)
  LANSIM_MD5_STEP(F, b, c, d, a, m[15], 0x49b40821, 22)
  LANSIM_MD5_STEP(G, a, b, c, d, m[1], 0xf61e2562, 5)
  LANSIM_MD5_STEP(G, d, a, b, c, m[6], 0xc040b340, 9)
  LANSIM_MD5_STEP(G, c, d, a, b, m[11], 0x265e5a51, 14)
  LANSIM_MD5_STEP(G, b, c, d, a, m[0], 0xe9b6c7aa, 20)
  LANSIM_MD5_STEP(G, a, b, c, d, m[5], 0xd62f105d, 5)
  LANSIM_MD5_STEP(G, d, a, b, c, m[10], 0x02441453, 9)
  LANSIM_MD5_STEP(G, c, d, a, b, m[15], 0xd8a1e681, 14)
  LANSIM_MD5_STEP(G, b, c, d, a, m[4], 0xe7d3fbc8, 20)
  LANSIM_MD5_STEP(G, a, b, c, d, m[9], 0x21e1cde6, 5)
  LANSIM_MD5_STEP(G, d, a, b, c, m[14], 0xc33707d6, 9)
  LANSIM_MD5_STEP(G, c, d, a, b, m[3], 0xf4d50d87, 14)
  LANSIM_MD5_STEP(G, b, c, d, a, m[8], 0x455a14ed, 20)
  LANSIM_MD5_STEP(G, a, b, c, d, m[13], 0xa9e3e905, 5)
  LANSIM_MD5_STEP(G, d, a, b, c, m[2], 0xfcefa3f8, 9)
  LANSIM_MD5_STEP(G, c, d, a, b, m[7], 0x676f02d9, 14)
  LANSIM_MD5_STEP(G, b, c, d, a, m[12], 0x8d2a4c8a, 20)
  LANSIM_MD5_STEP(H, a, b, c, d, m[5], 0xfffa3942, 4)
  LANSIM_MD5_STEP(H, d, a, b, c, m[8], 0x8771f681, 11)
  LANSIM_MD5_STEP(H, c, d, a, b, m[11], 0x6d9d6122, 16)
  LANSIM_MD5_STEP(H, b, c, d, a, m[14], 0xfde5380c, 23)
  LANSIM_MD5_STEP(H, a, b, c, d, m[1], 0xa4beea44, 4)
  LANSIM_MD5_STEP(H, d, a, b, c, m[4], 0x4bdecfa9, 11)
  LANSIM_MD5_STEP(H, c, d, a, b, m[7], 0xf6bb4b60, 16)
  LANSIM_MD5_STEP(H, b, c, d, a, m[10], 0xbebfbc70, 23)
  LANSIM_MD5_STEP(H, a, b, c, d, m[13], 0x289b7ec6, 4)
  LANSIM_MD5_STEP(H, d, a, b, c, m[0], 0xeaa127fa, 11)
  LANSIM_MD5_STEP(H, c, d, a, b, m[3], 0xd4ef3085, 16)
  LANSIM_MD5_STEP(H, b, c, d, a, m[6], 0x04881d05, 23)
  LANSIM_MD5_STEP(H, a, b, c, d, m[9], 0xd9d4d039, 4)
  LANSIM_MD5_STEP(H, d, a, b, c, m[12], 0xe6db99e5, 11)
  LANSIM_MD5_STEP(H, c, d, a, b, m[15], 0x1fa27cf8, 16)
  LANSIM_MD5_STEP(H, b, c, d, a, m[2], 0xc4ac5665, 23)
  LANSIM_MD5_STEP(I, a, b, c, d, m[0], 0xf4292244, 6)
  LANSIM_MD5_STEP(I, d, a, b, c, m[7], 0x432aff97, 10)
  LANSIM_MD5_STEP(I, c, d, a, b, m[14], 0xab9423a7, 15)
  LANSIM_MD5_STEP(I, b, c, d, a, m[5], 0xfc93a039, 21)
  LANSIM_MD5_STEP(I, a, b, c, d, m[12], 0x655b59c3, 6)
  LANSIM_MD5_STEP(I, d, a, b, c, m[3], 0x8f0ccc92, 10)
  LANSIM_MD5_STEP(I, c, d, a, b, m[10], 0xffeff47d, 15)
  LANSIM_MD5_STEP(I, b, c, d, a, m[1], 0x85845dd1, 21)
  LANSIM_MD5_STEP(I, a, b, c, d, m[8], 0x6fa87e4f, 6)
  LANSIM_MD5_STEP(I, d, a, b, c, m[15], 0xfe2ce6e0, 10)
  LANSIM_MD5_STEP(I, c, d, a, b, m[6], 0xa3014314, 15)
  LANSIM_MD5_STEP(I, b, c, d, a, m[13], 0x4e0811a1, 21)
  LANSIM_MD5_STEP(I, a, b, c, d, m[4], 0xf7537e82, 6)
  LANSIM_MD5_STEP(I, d, a, b, c, m[11], 0xbd3af235, 10)
  LANSIM_MD5_STEP(I, c, d, a, b, m[2], 0x2ad7d2bb, 15)
  LANSIM_MD5_STEP(I, b, c, d, a, m[9], 0xeb86d391, 21)
  s_[0] += a;
  s_[1] += b;
  s_[2] += c;
  s_[3] += d;
}

#undef LANSIM_MD5_STEP

void Md5::add(const std::uint8_t *data, std::size_t n) {
  length_ += n;
  if (used_ > 0) {
    const std::size_t take = std::min<std::size_t>(n, 64 - used_);
    std::memcpy(buf_ + used_, data, take);
    used_ += take;
    data += take;
    n -= take;
    if (used_ < 64) return;
    block(buf_);
    used_ = 0;
  }
  for (; n >= 64; data += 64, n -= 64) block(data);
  std::memcpy(buf_, data, n);
  used_ = n;
}

std::array<std::uint8_t, 16> Md5::finish() {
  const std::uint64_t bits = length_ * 8;
  const std::uint8_t pad = 0x80;
  add(&pad, 1);
  const std::uint8_t zero = 0;
  while (used_ != 56) add(&zero, 1);
  std::uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  add(len, 8);
  std::array<std::uint8_t, 16> out{};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<std::uint8_t>(s_[i] >> (8 * k));
  return out;
}

}  // namespace lansim
