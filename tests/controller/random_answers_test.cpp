// Firmware answers made of random bytes, through the simulator, for every
// walk over counts and lengths the firmware gives: profile descriptors,
// Galtor's common profile, the legacy configuration, the personality texts
// and the NIC regions. Nothing may read or write outside its buffers
// (the sanitizers watch) and every answer stays one the calls document.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "controller/controller.h"
#include "nic/nic.h"
#include "tests/support/client_fixture.h"
#include "tests/support/random_bytes.h"
#include "tree/declare.h"
#include "tree/group_builder.h"

namespace tavo::test {
namespace {

using Bytes = std::vector<uint8_t>;

tree::SlotArea fuzz_port_slots, fuzz_function_slots;
const tree::ChildDef fuzz_function_children[] = {declare::property(
    "MACAddress", TAVO_ACCESS_READ_ONLY, TAVO_TYPE_TEXT, "", 0, 255, "", handle_internal_property, "Factory MAC.")};
const tree::GroupDef fuzz_function = {"Function", "A partition.", 8, 0, nullptr, fuzz_function_children,
                                      &fuzz_function_slots};
const tree::GroupDef fuzz_port = {"Port", "A port.", 4, 0, nullptr, {}, &fuzz_port_slots};

class RandomAnswersTest : public ClientTest, protected RandomBytes {
 protected:
  RandomAnswersTest() : RandomBytes(20261231) {}
  // Records of a one- or two-byte length field (descriptors, NIC regions)
  // after a head of head_size bytes: types around the ones read, lengths
  // mostly of their size; sometimes plain noise of any size.
  Bytes records(size_t head_size, size_t max_size, uint8_t first_type, uint8_t usual, bool wide) {
    if (below(4) == 0) return noise(below(static_cast<uint32_t>(max_size + 64)));
    Bytes b = noise(head_size);
    if (below(2) == 0) b[1] = 0;  // descriptor counts below 256
    while (b.size() < max_size && below(12) != 0) {
      const uint32_t length = below(3) == 0 ? below(wide ? 300 : 256) : usual;
      b.push_back(static_cast<uint8_t>(first_type + below(8)));
      b.push_back(static_cast<uint8_t>(length));
      if (wide) b.push_back(static_cast<uint8_t>(length >> 8));
      const Bytes value = noise(wide ? length : std::max<uint32_t>(length, 2) - 2);
      b.insert(b.end(), value.begin(), value.end());
    }
    if (wide && below(4) != 0) {  // a region length field that fits, or cuts the last record
      auto length = static_cast<uint32_t>(b.size() - head_size);
      length -= std::min(length, below(2) * below(6));
      memcpy(&b[4], &length, 4);
    }
    return b;
  }
};

TEST_F(RandomAnswersTest, WalksStayInsideTheirBuffers) {
  // Corvane0 CV3 (profile, then legacy), Corvane1 Galtor (common), Corvane2 Moravel.
  TavoNode* controllers[3] = {get_node(tag("Corvane0")), get_node(tag("Corvane1")), get_node(tag("Corvane2"))};
  TavoNode* configured = get_node(tag("Corvane0/ProfileManagement/ConfiguredProfile"));
  for (int p = 0; p < 2; ++p) {
    TavoNode* port = tree::build_group(fuzz_port, configured);
    for (int k = 0; k < 2; ++k)
      set_prop_val(tree::build_group(fuzz_function, port), "MACAddress", "02-00-00-00-00-0%d", k);
  }
  const char* texts[] = {"/cfg/personalities", "/cfg/personality"};
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    for (int c = 0; c < 3; ++c) {
      auto& flash = sim_->flash(c);
      flash["/cfg/profile/active"] = records(4, sizeof(ProfileConfigBuffer), 78, 88, false);
      flash["/cfg/profile/configured"] = records(4, sizeof(ProfileConfigBuffer), 78, 88, false);
      flash["/cfg/profile/common"] = records(4, 4 + 72 * 4, 62, 72, false);
      flash["/cfg/cv_conf"] = noise(below(2) == 0 ? sizeof(ControllerConfigRecordV1) : below(1200));
      for (const char* t : texts) flash[t] = noise(below(600));
    }
    if (below(3) == 0) fail_mailbox(1, 164, 1).additional_status = 30;  // CV3 to its legacy path
    for (TavoNode* c : controllers) {
      EXPECT_LE(TAVO_update_current_personality(c), 1u);
      EXPECT_LE(TAVO_update_available_personalities(c), 1u);
    }
    uint32_t count = 99, pfs[TAVO_MAX_STORAGE_FUNCTIONS], protocols[TAVO_MAX_STORAGE_FUNCTIONS];
    const auto moravel_port = tree::handler_context(controllers[2], tree::Commands::OfController).number;
    const uint32_t got =
        TAVO_get_storage_functions(moravel_port, 0, 0, controllers[2], &count, pfs, protocols, below(2));
    EXPECT_TRUE(got == 0 || got == 288) << got;
    EXPECT_LE(count, got == 0 ? uint32_t{TAVO_MAX_STORAGE_FUNCTIONS} : 99u);
    const uint32_t set = act("Corvane2/Personality/SetPersonality", {"FCoE"});
    EXPECT_LE(set, 1u);
    EXPECT_LE(get("Corvane0/Personality/ConfiguredPersonality").size(), 8u);

    for (int p = 0; p < 2; ++p)
      for (int k = 1; k <= 2; ++k) {
        const std::string name =
            "/nicdata/Port" + std::to_string(p) + "/Partition" + std::to_string(k) + "/Region1";
        sim_->flash(0)[name] = records(16, 400, 30, 7, true);
      }
    EXPECT_LE(TAVO_reset_virt_mac(controllers[0], below(2)), 1u);
  }
}

}  // namespace
}  // namespace tavo::test
