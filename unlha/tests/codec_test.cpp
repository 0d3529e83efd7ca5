// The packers, each checked against liblhasa's decoder of its method.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <lhasa.h>
}

#include "lzh.h"
#include "testdata.h"

namespace {

using namespace unlhatest;

std::string decodeWith(const char* method, const std::string& packed, std::size_t size) {
  struct Source {
    const std::string* data;
    std::size_t pos = 0;
  } src{&packed};
  auto feed = [](void* buf, std::size_t len, void* user) -> std::size_t {
    auto* s = static_cast<Source*>(user);
    const std::size_t n = std::min(len, s->data->size() - s->pos);
    std::memcpy(buf, s->data->data() + s->pos, n);
    s->pos += n;
    return n;
  };
  char name[6] = {};
  std::strncpy(name, method, 5);
  LHADecoder* d = lha_decoder_new(lha_decoder_for_name(name), feed, &src, size);
  std::string out;
  std::vector<std::uint8_t> buf(1 << 15);
  std::size_t n;
  while ((n = lha_decoder_read(d, buf.data(), buf.size())) > 0) out.append(reinterpret_cast<char*>(buf.data()), n);
  lha_decoder_free(d);
  return out;
}

TEST(Packers, EveryMethodDecodesToItsInput) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"one byte", "x"},
      {"two bytes", "xy"},
      {"three bytes", "xyz"},
      {"one repeated byte", std::string(300000, '\0')},
      {"text", textLike(200000)},
      {"random", randomBytes(40000, 3)},
      {"four symbols", randomBytes(120000, 4, 4)},
      {"long matches far back", [] {
         std::string s = randomBytes(9000, 5);
         return s + s + s.substr(100, 3000) + s;
       }()},
      {"matches beyond 64 KiB", [] {
         std::string s = randomBytes(70000, 6);
         return s + s;
       }()},
  };
  struct Method {
    const char* name;
    std::string (*pack)(const std::string&);
  };
  const Method methods[] = {
      {"-lh1-", [](const std::string& d) { return unlha::lzh::encodeLh1(d); }},
      {"-lh4-", [](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(12)); }},
      {"-lh5-", [](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(13)); }},
      {"-lh6-", [](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(15)); }},
      {"-lh7-", [](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(16)); }},
      {"-lhx-", [](const std::string& d) { return unlha::lzh::encode(d, unlha::lzh::paramsFor(19)); }},
  };
  for (const Method& m : methods) {
    for (const auto& [name, data] : cases) {
      const std::string packed = m.pack(data);
      EXPECT_EQ(decodeWith(m.name, packed, data.size()), data) << name << " " << m.name;
    }
  }
}

TEST(Packers, TextShrinks) {
  const std::string text = textLike(200000);
  EXPECT_LT(unlha::lzh::encode(text, unlha::lzh::paramsFor(13)).size(), text.size() / 3);
  EXPECT_LT(unlha::lzh::encodeLh1(text).size(), text.size() / 3);
  // The adaptive code follows a change of the data's make-up (and halves
  // its counts on the way) without losing a byte.
  const std::string mixed = std::string(100000, 'a') + randomBytes(100000, 8, 16) + textLike(100000);
  EXPECT_EQ(decodeWith("-lh1-", unlha::lzh::encodeLh1(mixed), mixed.size()), mixed);
}

}  // namespace
