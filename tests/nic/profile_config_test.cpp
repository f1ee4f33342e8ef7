// The profile configuration: the guarded descriptor walk, the 10-bit PF
// number and 12-bit counts, the one reader TAVO_get_profile, and every
// profile reader over random answers.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controller/controller.h"
#include "nic/nic.h"
#include "tests/nic/profile_fixture.h"
#include "tests/support/random_bytes.h"

namespace tavo::test {
namespace {

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
  // PF 0-5, each with its protocol descriptor, then ports 0-3.
  constexpr uint8_t P = kProfilePciFunction, N = kProfileNic, I = kProfileIscsi, L = kProfilePort;
  EXPECT_EQ(visited(Bytes(bytes, bytes + sizeof(ProfileConfigBuffer))),
            (Bytes{P, N, P, N, P, N, P, N, P, I, P, I, L, L, L, L}));
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

namespace tavo::test {
namespace {

// Firmware answers of random bytes for every profile reader: descriptors
// of the types read with lengths mostly theirs, counts beyond the buffers.
// Nothing may read or write outside its buffers (the sanitizers watch),
// and config_prof.txt keeps whole lines of seven fields.
class RandomProfileAnswers : public ProfileTest, protected RandomBytes {
 protected:
  RandomProfileAnswers() : RandomBytes(20270101) {}
  // A head of head bytes, then descriptors of types first..first+7.
  Bytes records(size_t head, size_t most, uint8_t first, uint8_t usual) {
    if (below(5) == 0) return noise(below(static_cast<uint32_t>(most + 64)));
    Bytes b = noise(head);
    if (below(2) == 0) b[1] = 0;
    while (b.size() < most && below(16) != 0) {
      const uint32_t length = below(4) == 0 ? below(256) : usual;
      Bytes d = noise(std::max<uint32_t>(length, 2));
      d[0] = static_cast<uint8_t>(first + below(8));
      d[1] = static_cast<uint8_t>(length);
      if (below(2) == 0 && d.size() > 7) d[7] &= 0x03;  // small PF numbers
      b.insert(b.end(), d.begin(), d.end());
    }
    return b;
  }
};

TEST_F(RandomProfileAnswers, ReadersStayInsideTheirBuffers) {
  TavoNode* c = node("Corvane0");
  for (int round = 0; round < 120; ++round) {
    SCOPED_TRACE(round);
    auto& flash = sim_->flash(0);
    flash["/cfg/profile/active"] = records(4, sizeof(ProfileConfigBuffer), 79, 88);
    flash["/cfg/profile/configured"] = records(4, sizeof(ProfileConfigBuffer), 79, 88);
    flash["/cfg/profile/2"] = records(4, 2000, 79, 88);
    flash["/cfg/profile/cap/2"] = records(4, 400, 143, 4);
    Bytes list = noise(below(2) == 0 ? sizeof(ProfileList) : below(60000));
    if (list.size() >= 4 && below(4) != 0) list[1] = list[2] = list[3] = 0, list[0] %= 8;  // mostly a few
    flash["/cfg/profile/list"] = list;
    flash["/cfg/profile/ids"] = noise(4);
    flash["/cfg/link"] = noise(below(2) == 0 ? sizeof(LinkReconfigRecord) : below(1300));
    flash["/cfg/ari"] = noise(4);
    for (const char* group : {"Profile", "LinkConfig"})
      purge_nodes_within(node(std::string("Corvane0/") + (group[0] == 'P' ? "ProfileManagement" : "LinkReconfiguration")),
                         group);
    purge_nodes_within(node(kActive), "Port");
    purge_nodes_within(node(kConfigured), "Port");
    EXPECT_LE(TAVO_list_available_profiles(c), 1u);
    EXPECT_LE(TAVO_get_profile_capacities(2, node("Corvane0/ProfileManagement"), c), 1u);
    EXPECT_LE(TAVO_get_active_profiles(c), 1u);
    EXPECT_LE(TAVO_get_configured_profiles(c), 1u);
    EXPECT_LE(TAVO_get_link_reconfig_details(c, 0), 1u);
    EXPECT_LE(children("Corvane0/LinkReconfiguration", TAVO_KIND_GROUP).size(), 32u);
    for (const std::string& port : children(kConfigured, TAVO_KIND_GROUP))
      for (const std::string& f : children(std::string(kConfigured) + "/" + port, TAVO_KIND_GROUP))
        get(std::string(kConfigured) + "/" + port + "/" + f + "/AvailableProtocols");
    get("Corvane0/ProfileManagement/MaxFunctionsPerPort");
    act("Corvane0/ProfileManagement/SaveProfile");
    const std::string text = lines();
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      ASSERT_NE(end, std::string::npos);
      EXPECT_EQ(std::count(text.begin() + at, text.begin() + end, ','), 6) << text.substr(at, end - at);
      at = end + 1;
    }
  }
}

}  // namespace
}  // namespace tavo::test
