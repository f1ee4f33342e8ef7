// The topology lines of simulated iSCSI targets and of durable flushes.
#include <gtest/gtest.h>

#include <string>

#include "simulator/topology.h"

namespace tavo {
namespace {

TEST(IscsiTopology, TargetLines) {
  sim::Topology t;
  std::string error;
  const std::string head = "controller 0\niscsi controller=0 function=2 device=3\n";
  ASSERT_TRUE(sim::parse_topology(head + "target name=iqn.x portal=10.0.0.1/3260,fe80::1/3261/7 chap=c/s "
                                         "mutual=m/ms persistent=3\ndurable-fsync\n",
                                  &t, &error))
      << error;
  ASSERT_EQ(t.targets.size(), 1u);
  EXPECT_EQ(t.targets[0].portals.size(), 2u);
  EXPECT_EQ(t.targets[0].portals[0].tag, 1u);
  EXPECT_EQ(t.targets[0].portals[1].tag, 7u);
  EXPECT_EQ(t.targets[0].portals[1].address.type, 0x10);
  EXPECT_EQ(t.targets[0].chap_secret, "s");
  EXPECT_TRUE(t.durable_fsync);
  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"target portal=10.0.0.1/3260", "line 3: target needs name=<1-223 characters>"},
      {"target name=iqn.x", "line 3: target needs portal=address/port[/tag],..."},
      {"target name=iqn.x portal=10.0.0.1", "line 3: target needs portal=address/port[/tag],..."},
      {"target name=iqn.x portal=10.0.0.1/70000", "line 3: target needs portal=address/port[/tag],..."},
      {"target name=iqn.x portal=10.0.0.1/3260 chap=onlyname",
       "line 3: bad chap or mutual (name/secret, at most 16 secret characters)"},
      {"target name=iqn.x portal=10.0.0.1/3260 persistent=9",
       "line 3: target iqn.x held by iSCSI device 9, which is "
       "not defined"},
      {"controller 1 eto=4000", "line 3: bad eto (0-3600) or max-targets (0-65535)"},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(sim::parse_topology(head + b.line + "\n", &t, &error)) << b.line;
    EXPECT_EQ(error, b.error);
  }
}

}  // namespace
}  // namespace tavo
