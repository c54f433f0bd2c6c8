// The stand-in library's reading of camera answers, without sockets: every
// cut and every changed byte of an answer is either refused or read within
// its bounds, and requests that do not fit their fields are not built.
#include <gtest/gtest.h>

#include <random>

#include "dvsnet_wire.h"

namespace {

std::vector<unsigned char> goodAnswer(std::uint16_t tx) {
  std::vector<unsigned char> b(dvsnet::kAnswerLength, 0);
  auto put = [&b](std::size_t off, std::string_view s) { std::copy(s.begin(), s.end(), b.begin() + static_cast<long>(off)); };
  put(0, "DVSN");
  b[4] = 1;
  b[5] = 0x81;
  b[6] = static_cast<unsigned char>(tx);
  b[7] = static_cast<unsigned char>(tx >> 8);
  const unsigned char mac[6] = {0, 0x1A, 0x2B, 0, 4, 1};
  std::copy(mac, mac + 6, b.begin() + 8);
  b[14] = 1;
  b[16] = 0x51;  // web port 81
  b[18] = 0x41;
  b[19] = 0x1F;  // data port 8001
  b[24] = 0xFF;
  b[25] = 0xFF;
  b[26] = 0xFF;
  b[27] = 0xFF;  // extra value -1
  put(28, "SN1");
  put(60, "Gate");
  put(124, "V1");
  put(156, "192.168.7.41");
  put(172, "255.255.255.0");
  put(188, "192.168.7.1");
  put(204, "0.0.0.0");
  put(220, "8.8.8.8");
  return b;
}

TEST(DvsnetWire, ReadsAnAnswerToItsOwnSearch) {
  const auto b = goodAnswer(0x1234);
  auto cam = dvsnet::parseSearchAnswer(b.data(), b.size(), 0x1234);
  ASSERT_TRUE(cam);
  EXPECT_EQ(cam->name, "Gate");
  EXPECT_EQ(cam->ip, "192.168.7.41");
  EXPECT_EQ(cam->webPort, 81);
  EXPECT_EQ(cam->dataPort, 8001);
  EXPECT_EQ(cam->extraValue, -1);
  EXPECT_EQ(cam->dhcp, 1);
  EXPECT_FALSE(dvsnet::parseSearchAnswer(b.data(), b.size(), 0x1235)) << "another search's answer";
}

TEST(DvsnetWire, CutOrChangedAnswersAreRefusedOrReadInBounds) {
  const auto good = goodAnswer(7);
  for (std::size_t len = 0; len < good.size(); ++len) {
    // A copy of exactly len bytes, so that ASan sees any read past it.
    std::vector<unsigned char> cut(good.begin(), good.begin() + static_cast<long>(len));
    EXPECT_FALSE(dvsnet::parseSearchAnswer(cut.data(), cut.size(), 7)) << len;
  }
  // A text without its NUL, an address that is none: refused.
  for (std::size_t field : {28u, 60u, 124u, 156u, 172u, 188u, 204u, 220u}) {
    auto b = good;
    const std::size_t width = field == 60 ? 64 : (field == 28 || field == 124) ? 32 : 16;
    std::fill(b.begin() + static_cast<long>(field), b.begin() + static_cast<long>(field + width), '1');
    EXPECT_FALSE(dvsnet::parseSearchAnswer(b.data(), b.size(), 7)) << field;
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    auto b = good;
    for (int k = 0; k < 3; ++k) b[rng() % b.size()] = static_cast<unsigned char>(rng());
    const unsigned extra = rng() % 40;
    for (unsigned k = 0; k < extra; ++k) b.push_back(static_cast<unsigned char>(k));
    if (auto cam = dvsnet::parseSearchAnswer(b.data(), b.size(), 7)) {
      EXPECT_LT(cam->name.size(), 64u);
      EXPECT_TRUE(dvsnet::dottedQuad(cam->ip));
    }
    dvsnet::parseConfigAnswer(b.data(), b.size() % 20, 7, {});
  }
}

TEST(DvsnetWire, ConfigureRequestsOnlyWithValuesThatFit) {
  dvsnet::Settings s;
  s.user = "admin";
  s.name = "Gate";
  s.ip = "192.168.7.41";
  s.mask = "255.255.255.0";
  s.gateway = "192.168.7.1";
  s.extraAddr = "0.0.0.0";
  s.dns = "8.8.8.8";
  s.webPort = 80;
  auto b = dvsnet::configRequest(s, 9);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->size(), dvsnet::kConfigLength);
  EXPECT_EQ((*b)[152], '1');
  EXPECT_EQ((*b)[152 + 12], 0);
  for (auto edit : std::vector<std::function<void(dvsnet::Settings &)>>{
           [](auto &x) { x.name = std::string(64, 'n'); }, [](auto &x) { x.password = std::string(32, 'p'); },
           [](auto &x) { x.ip = "1.2.3"; }, [](auto &x) { x.dns = "1.2.3.4 "; }, [](auto &x) { x.webPort = 0; },
           [](auto &x) { x.dataPort = 65536; }, [](auto &x) { x.dhcp = 2; },
           [](auto &x) { x.user = std::string("a\0b", 3); }}) {
    dvsnet::Settings t = s;
    edit(t);
    EXPECT_FALSE(dvsnet::configRequest(t, 9));
  }
}

}  // namespace
