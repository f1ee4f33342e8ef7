// A client linked with the static archive the ordinary way (no
// whole-archive) gets the same tree as one linked with libtavo.so: every
// branch is taken because TAVO_init names the back end and the back end
// names what it starts. The same client program is built both ways.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

std::string run_client(const std::string& program) {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-static-XXXXXX";
  std::vector<char> root(tmpl.begin(), tmpl.end());
  root.push_back('\0');
  EXPECT_NE(mkdtemp(root.data()), nullptr);
  const std::string command =
      "TAVO_SIMULATOR=default TAVO_ROOT='" + std::string(root.data()) + "' '" + program + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  EXPECT_NE(p, nullptr);
  std::string out;
  char buf[512];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out += buf;
  EXPECT_EQ(p != nullptr ? pclose(p) : -1, 0) << out;
  return out;
}

TEST(Shipped, AnOrdinaryStaticLinkBuildsTheWholeTree) {
  const std::string shared = run_client(TAVO_SHARED_CLIENT);
  const std::string archive = run_client(TAVO_STATIC_CLIENT);
  EXPECT_EQ(archive, shared);
  // A branch missing from the link would show as a missing group kind.
  for (const char* line : {"init 0 0 \n", "group Corvane\n", "group iSCSIPhysicalHBA\n", "group LogicalHBA\n",
                           "group Discovery\n", "group iSCSIStatistics\n", "group NICPhysicalHBA\n",
                           "group PortDiscoveryAndConfiguration\n", "group ProfileManagement\n",
                           "group Diagnostics\n", "group EventLog\n", "AddTarget 0, groups created\n"})
    EXPECT_NE(archive.find(line), std::string::npos) << line << "\n" << archive;
}

}  // namespace
