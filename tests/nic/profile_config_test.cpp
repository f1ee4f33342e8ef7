// The profile configuration: the guarded descriptor walk, the 10-bit PF
// number and 12-bit counts, and the one reader TAVO_get_profile.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "nic/nic.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A reply of the given count with descriptors of (type, length), cut or
// padded to size when given; and the types the walk visits in a reply.
Bytes reply(uint16_t count, const std::vector<std::pair<uint8_t, uint8_t>>& descriptors, size_t size = 0) {
  Bytes r(4, 0);
  memcpy(r.data(), &count, 2);
  for (const auto& [type, length] : descriptors) {
    const size_t at = r.size();
    r.resize(at + std::max<size_t>(length, 2), 0);  // a head even where the length byte lies
    r[at] = type;
    r[at + 1] = length;
  }
  if (size != 0) r.resize(size, 0);
  return r;
}

std::vector<uint8_t> visited(const Bytes& r) {
  std::vector<uint8_t> types;
  walk_profile_descriptors(r.data(), r.size(), [&](const uint8_t* d, size_t length) {
    EXPECT_EQ(d[1], length);
    types.push_back(d[0]);
    return true;
  });
  return types;
}

TEST(ProfileConfigLayout, WalkStopsWhereTheFirmwareLies) {
  struct Row {
    const char* name;
    Bytes r;
    std::vector<uint8_t> types;
  } rows[] = {
      {"by count", reply(2, {{80, 88}, {81, 88}, {85, 88}}), {80, 81}},
      {"empty", reply(0, {{80, 88}}), {}},
      {"unknown type stepped over by its length", reply(3, {{90, 20}, {80, 88}, {86, 68}}), {90, 80, 86}},
      {"length 0", reply(3, {{80, 88}, {81, 0}, {82, 88}}), {80}},
      {"shorter than the head", reply(3, {{80, 88}, {81, 7}, {82, 88}}), {80}},
      {"past the buffer", reply(2, {{80, 88}, {81, 88}}, 4 + 88 + 50), {80}},
      {"count beyond the buffer", reply(60000, {{80, 88}}), {80}},
      {"head cut by the buffer", reply(2, {{80, 88}}, 4 + 88 + 5), {80}},
      {"no head at all", Bytes{3}, {}},
  };
  for (const Row& r : rows) EXPECT_EQ(visited(r.r), r.types) << r.name;
}

TEST(ProfileConfigLayout, PfNumberAndCounts) {
  EXPECT_EQ(pf_number_of(0xFFFF), 0x3FF);
  EXPECT_EQ(with_pf_number(0xFC00 | 5, 0x3FF), 0xFFFF);  // bits 10-15 kept
  EXPECT_EQ(with_pf_number(0xA7FF, 2), 0xA402);
  EXPECT_EQ(with_pf_number(0, 0x400 | 9), 9);
  EXPECT_EQ(count12_of(0x1F34), 0xF34);  // a high byte of 0x1F reads as 0xF
  ProfilePciFunctionDescriptor d{};
  const Bytes r = reply(1, {{80, 88}});
  EXPECT_TRUE(read_profile_descriptor(r.data() + 4, 88, kProfilePciFunction, &d));
  EXPECT_FALSE(read_profile_descriptor(r.data() + 4, 87, kProfilePciFunction, &d));
  EXPECT_FALSE(read_profile_descriptor(r.data() + 4, 88, kProfileNic, &d));
}

using ProfileReaderTest = ClientTest;

TEST_F(ProfileReaderTest, GetProfileAsksThroughTheFirstFunction) {
  TavoNode* moravel = get_node(tag("Corvane2"));
  base::Counted<ProfileConfigBuffer> active(TAVO_get_profile(moravel, kProfileActive, 0, 0));
  ASSERT_TRUE(active);
  const auto* bytes = reinterpret_cast<const uint8_t*>(active.get());
  // PF 0-5, each with its protocol descriptor.
  constexpr uint8_t P = kProfilePciFunction, N = kProfileNic, I = kProfileIscsi;
  EXPECT_EQ(visited(Bytes(bytes, bytes + sizeof(ProfileConfigBuffer))), (Bytes{P, N, P, N, P, N, P, N, P, I, P, I}));
  base::Counted<ProfileConfigBuffer> given(TAVO_get_profile(moravel, kProfileGiven, 3, 1));
  MailboxRequestHeader h{};
  const Bytes request = last_payload(1, 164, &h);
  ASSERT_EQ(request.size(), sizeof(ProfileConfigBuffer));
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(request[0], 3);
  EXPECT_EQ(request[1], kProfileGiven | kProfileReadback);
  fail_mailbox(1, 164, 3);
  EXPECT_EQ(TAVO_get_profile(moravel, kProfileConfigured, 0, 0), nullptr);
  EXPECT_EQ(last_status(), (std::pair<uint32_t, std::string>{
                               278, "Failed to get profile config. Please check tavo2d.log file for more information."}));
  EXPECT_EQ(TAVO_get_profile(nullptr, 0, 0, 0), nullptr);
}

}  // namespace
}  // namespace tavo::test
