#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

#include "base/memory.h"
#include "transport/glob_access.h"
#include "tree/tree.h"

namespace tavo::test {

void ImaTest::SetUp() {
  SimTest::SetUp();
  transport::reset_glob();
  baseline_allocations_ = tavo_counter;
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
  ASSERT_NE(get_node(0), nullptr);
}

void ImaTest::TearDown() {
  IMA_VMW_PluginCleanup();
  // The plug-in held the only client: its close took the tree down.
  EXPECT_EQ(get_node(0), nullptr);
  EXPECT_EQ(open_count, 0);
  ClientTest::TearDown();
}

void ImaTest::reopen_with(const std::string& topology_lines) {
  IMA_VMW_PluginCleanup();
  use(std::string(sim::default_topology_text()) + topology_lines);
  ASSERT_EQ(IMA_VMW_PluginInit(kOwner), 0u);
}

IMA_OID ImaTest::oid(IMA_OBJECT_TYPE type, const std::string& path) {
  IMA_OID id;
  id.objectType = type;
  id.ownerId = kOwner;
  id.objectSequenceNumber = tag(path);
  return id;
}

std::string ImaTest::path_of(uint32_t node) {
  std::string path;
  for (uint32_t at = node; at != 0;) {
    char name[TAVO_NAME_SIZE] = "";
    TavoNode* n = get_node(at);
    if (n == nullptr || TAVO_get_node_name(at, name, n->kind) != 0 || TAVO_get_parent_tag(at, &at) != 0) return "";
    path = path.empty() ? name : std::string(name) + "/" + path;
  }
  return path;
}

std::string ImaTest::entry(const IMA_OID& id) {
  return std::to_string(id.objectType) + (id.ownerId == kOwner ? " " : " foreign ") +
         path_of(static_cast<uint32_t>(id.objectSequenceNumber));
}

std::vector<std::string> ImaTest::entries(IMA_OID_LIST* list) {
  std::vector<std::string> out;
  if (list == nullptr) return out;
  for (uint32_t i = 0; i < list->oidCount; ++i) out.push_back(entry(list->oids[i]));
  EXPECT_EQ(IMA_FreeMemory(list), 0u);
  return out;
}

std::string ImaTest::ima_log() { return read_file(root_.at("/tmp/ima.log")); }

std::string ipv4(const IMA_IP_ADDRESS& address) {
  const uint8_t* a = address.ipAddress;
  return std::to_string(address.ipv4Address) + ":" + std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
         std::to_string(a[2]) + "." + std::to_string(a[3]);
}

std::vector<IMA_WCHAR> wide(const std::string& ascii) {
  std::vector<IMA_WCHAR> out(ascii.begin(), ascii.end());
  out.push_back(0);
  return out;
}

std::string narrow(const IMA_WCHAR* field) {
  std::string out;
  for (; *field != 0; ++field) out.push_back(static_cast<char>(*field));
  return out;
}

}  // namespace tavo::test
