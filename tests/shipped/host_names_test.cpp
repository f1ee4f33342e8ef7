// The library's data references bind inside it: a host program that
// defines data under names the library exports too (tavo_host_names)
// keeps its values, and the library keeps its own.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

std::string run_host(const std::string& program) {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/tavo-host-XXXXXX";
  std::vector<char> root(tmpl.begin(), tmpl.end());
  root.push_back('\0');
  EXPECT_NE(mkdtemp(root.data()), nullptr);
  // Two definitions of one name are the case tried: AddressSanitizer's
  // check for them (in the ASan build) stands aside.
  const char* asan = getenv("ASAN_OPTIONS");
  const std::string command = "ASAN_OPTIONS='" + std::string(asan != nullptr ? asan : "") +
                              ":detect_odr_violation=0' TAVO_SIMULATOR=default TAVO_ROOT='" +
                              std::string(root.data()) + "' '" + program + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  EXPECT_NE(p, nullptr);
  std::string out;
  char buf[512];
  while (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out += buf;
  EXPECT_EQ(p != nullptr ? pclose(p) : -1, 0) << out;
  return out;
}

TEST(Shipped, AHostsOwnDataOfTheLibrarysNamesStaysApart) {
  EXPECT_EQ(run_host(TAVO_HOST_NAMES),
            "init 0\n"
            "node oid 0 owner 4883\n"                   // the library reads its own owner id
            "library MyOwnerId 4883 open_count 1\n"
            "AddTarget 0\n"
            "library persistency_priority raised 1\n"
            "library open_count 0 tree_opened 0\n"      // its own count closed the tree
            "host MyOwnerId 11 open_count 5 persistency_priority 1000\n");
}

}  // namespace
