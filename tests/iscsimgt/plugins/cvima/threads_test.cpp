// Several host threads in the plug-in at once while the tree is rebuilt
// under them (the tsan preset runs this under ThreadSanitizer).
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "tests/iscsimgt/plugins/cvima/ima_fixture.h"

namespace tavo::test {
namespace {

const std::string kL = kLhba0;

using ImaThreadsTest = ImaTest;

// The ids a list call hands out for an id, then the record of each.
template <typename Record>
IMA_STATUS list_and_read(IMA_STATUS (*list_call)(IMA_OID, IMA_OID_LIST**), IMA_STATUS (*read)(IMA_OID, Record*),
                         const IMA_OID& id) {
  IMA_OID_LIST* list = nullptr;
  IMA_STATUS status = list_call(id, &list);
  for (uint32_t i = 0; status == 0 && i < list->oidCount; ++i) {
    Record record;
    status = read(list->oids[i], &record);
  }
  IMA_FreeMemory(list);
  return status;
}

// ThreadSanitizer makes each call several times slower; a quarter of the
// calls still crosses every rebuild many times.
#if defined(__SANITIZE_THREAD__)
constexpr int kCallsPerHost = 2500;
#else
constexpr int kCallsPerHost = 10000;
#endif

TEST_F(ImaThreadsTest, HostCallsWhileTheTreeIsRebuilt) {
  ASSERT_EQ(act(kL + "/AddTarget", {"iqn.2026-12.com.example:store0", "192.168.10.50"}), 0u);
  ASSERT_EQ(act(kL + "/Discovery/AddSendTargetPortal", {"192.168.10.50", "3260"}), 0u);
  const std::vector<IMA_WCHAR> name = wide("iqn.2026-12.com.example:store0");
  // Ids are taken afresh (their tags change with each rebuild), so a call
  // may still meet a stale one. What counts is that none crashes, leaks or
  // races, and that most succeed.
  const auto lhba = [&] { return oid(IMA_OBJECT_TYPE_LHBA, kL); };
  const auto portal = [&] { return oid(IMA_OBJECT_TYPE_TARGET, kL + "/Target0/TargetPortal0"); };
  const auto list_call = [](IMA_STATUS (*call)(IMA_OID, IMA_OID_LIST**), const IMA_OID& id) {
    IMA_OID_LIST* list = nullptr;
    const IMA_STATUS status = call(id, &list);
    IMA_FreeMemory(list);
    return status;
  };
  const std::function<IMA_STATUS()> calls[] = {
      [&] {
        IMA_OID node;
        return IMA_GetSharedNodeOid(&node) | list_call(IMA_GetTargetOidList, lhba());
      },
      [&] {
        return list_and_read(IMA_GetStaticDiscoveryTargetOidList, IMA_GetStaticDiscoveryTargetProperties, lhba());
      },
      [&] {
        IMA_DISCOVERY_PROPERTIES discovery;
        IMA_TARGET_PROPERTIES target;
        return IMA_GetDiscoveryProperties(oid(IMA_OBJECT_TYPE_PHBA, "Corvane0/iSCSIPhysicalHBA0"), &discovery) |
               IMA_GetTargetProperties(portal(), &target);
      },
      [&] { return list_call(IMA_GetDiscoveryAddressOidList, lhba()) | list_call(IMA_GetSessionOidList, portal()); },
      [&] { return list_and_read(IMA_GetLuOidList, IMA_GetLuProperties, lhba()); },
      [&] {
        IMA_NODE_NAME field;
        char back[TAVO_VALUE_SIZE], value[TAVO_VALUE_SIZE];
        return Sample_Iscsi_ToUtf8(back, name.data(), sizeof back) | Sample_Iscsi_ToWide(field, back, 224) |
               TAVO_get_property_val(0, 1, value, sizeof value);
      },
      [] {
        IMA_VMW_PluginInit(kOwner);
        IMA_VMW_PluginCleanup();
        return IMA_STATUS_SUCCESS;
      },
  };
  std::atomic<bool> stop{false};
  std::atomic<int> rebuilds{0};
  std::thread rebuilder([&] {
    for (int i = 0; !stop; ++i) {
      sim::Fault change;
      change.kind = sim::FaultKind::NicCountChange;
      change.nic_count = i % 2 ? 2 : 8;
      sim_->inject(change);
      // A NIC command sees the new set and has the tree rebuilt.
      get("Corvane0/NICPhysicalHBA0/MTUSize");
      ++rebuilds;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::atomic<int> succeeded{0};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 8; ++t)
    hosts.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerHost; ++i) succeeded += calls[(t + i) % std::size(calls)]() == 0;
    });
  for (std::thread& host : hosts) host.join();
  stop = true;
  rebuilder.join();
  EXPECT_GT(rebuilds.load(), 2);
  EXPECT_GT(succeeded.load(), 3 * kCallsPerHost);
  EXPECT_EQ(open_count, 1);
}

}  // namespace
}  // namespace tavo::test
