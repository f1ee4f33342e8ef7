// The CV3's internal 10Gb PHY answers the statistics command in its 84-byte
// form, as the tree reads it there; the version-1 form and the other
// 10GBase-T commands stay the 10GBase-T PHY's.
#include <gtest/gtest.h>

#include <string>

#include "tests/port/port_fixture.h"

namespace tavo::test {
namespace {

class PhyStatisticsTest : public PortTest {};

TEST_F(PhyStatisticsTest, Cv3InternalPhyAnswersTheFirstForm) {
  const std::string baset = std::string(kCv3Port) + "/BaseT10G/";
  struct Row {
    const char *property, *shown;
  } rows[] = {{"10GBaseTDiagStatus", "0x1"}, {"Temperature", "47"}, {"PairASNR", "0x1a0"},
              {"PHYFrameCounter", "123456789"}};
  for (const Row& r : rows) EXPECT_EQ(get(baset + r.property), r.shown) << r.property;
  EXPECT_EQ(last_payload(18, 8).size(), 84u);
  EXPECT_EQ(get(baset + "NVPValue"), "N/A");  // not a 10GBase-T PHY: 149

  // Asked for the version-1 form, it refuses and the first form answers.
  set_prop_val(node(std::string(kCv3Port) + "/BaseT10G"), "IsClearCountersSupported", "True");
  fw(0, 0).baset_words[1] = 50;
  sim_->advance_ms(10000);
  EXPECT_EQ(get(baset + "Temperature"), "50");
  const auto sent = payloads(18, 8);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2].size(), 112u);
  EXPECT_EQ(sent.back().size(), 84u);

  // A port with another PHY has none of it.
  fw(0, 0).phy_type = 0x9;
  sim_->advance_ms(10000);
  EXPECT_EQ(get(baset + "Temperature"), "<unreadable>");
  EXPECT_EQ(get(baset + "Temperature"), "N/A");
}

}  // namespace
}  // namespace tavo::test
