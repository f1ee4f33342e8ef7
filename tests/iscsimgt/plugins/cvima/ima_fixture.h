// The host's iSCSI management framework over a simulated adapter: the
// plug-in is opened with IMA_VMW_PluginInit before anything else and
// closed with IMA_VMW_PluginCleanup last, every list it hands out goes back
// through IMA_FreeMemory, and records go in filled with a sentinel so a
// test sees which bytes were written.
#pragma once

#include <string.h>

#include <string>
#include <vector>

#include "iscsimgt/plugins/cvima/esx50_wrap.h"
#include "tests/support/client_fixture.h"

namespace tavo::test {

inline constexpr uint32_t kOwner = 0x5a17;
inline constexpr uint8_t kSentinel = 0xA5;
inline constexpr char kLhba0[] = "Corvane0/iSCSIPhysicalHBA0/LogicalHBA0";

class ImaTest : public ClientTest {
 protected:
  explicit ImaTest(std::string topology = "default") : ClientTest(std::move(topology)) {}
  void SetUp() override;
  void TearDown() override;

  // Closes the plug-in and opens it again over the default topology with
  // these lines added.
  void reopen_with(const std::string& topology_lines);
  // An id of ours for the node at path.
  IMA_OID oid(IMA_OBJECT_TYPE type, const std::string& path);
  // The path of a node ("Corvane0/.../Target0"), "" for none.
  std::string path_of(uint32_t tag);
  // The entries of a handed-out list as "type owner path", then freed.
  std::vector<std::string> entries(IMA_OID_LIST* list);
  std::string entry(const IMA_OID& id);
  // The entries of the list a list call hands out for the id; with a
  // failure expected, that no list was handed out.
  template <typename Call>
  std::vector<std::string> list_of(Call call, const IMA_OID& id, IMA_STATUS expected = 0) {
    IMA_OID_LIST* list = nullptr;
    EXPECT_EQ(call(id, &list), expected);
    if (expected != 0) {
      EXPECT_EQ(list, nullptr);
    }
    return entries(list);
  }
  // The plug-in log and the lines printed while op ran.
  std::string ima_log();

  template <typename T>
  static T sentinel() {
    T record;
    memset(static_cast<void*>(&record), kSentinel, sizeof record);
    return record;
  }
  // The 32-bit words of bytes [from, to) of a record.
  template <typename T>
  static std::vector<uint32_t> words(const T& record, size_t from, size_t to) {
    std::vector<uint32_t> out((to - from) / 4);
    memcpy(out.data(), reinterpret_cast<const uint8_t*>(&record) + from, out.size() * 4);
    return out;
  }
  // Whether bytes [from, to) of the record still hold the sentinel.
  template <typename T>
  static bool untouched(const T& record, size_t from, size_t to = sizeof(T)) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = from; i < to; ++i)
      if (bytes[i] != kSentinel) return false;
    return true;
  }
};

// An address as "flag:a.b.c.d" (IPv4, the flag 1 or 0 and four bytes).
std::string ipv4(const IMA_IP_ADDRESS& address);
// A UTF-32 string of the text's bytes (ASCII) and the text of a wide field.
std::vector<IMA_WCHAR> wide(const std::string& ascii);
std::string narrow(const IMA_WCHAR* field);

}  // namespace tavo::test
