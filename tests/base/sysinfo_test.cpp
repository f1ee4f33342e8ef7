#include "base/sysinfo.h"

#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "tests/support/sim_fixture.h"
#include "tests/tree/hooked_host.h"

namespace tavo::test {
namespace {

class SysinfoTest : public SimTest {
 protected:
  void TearDown() override {
    set_tz(nullptr);
    SimTest::TearDown();
  }
  void set_tz(const char* tz) {
    if (tz == nullptr && saved_) {
      if (had_tz_)
        setenv("TZ", old_tz_.c_str(), 1);
      else
        unsetenv("TZ");
    } else if (tz != nullptr) {
      if (!saved_) {
        const char* old = getenv("TZ");
        had_tz_ = old != nullptr;
        old_tz_ = old ? old : "";
        saved_ = true;
      }
      setenv("TZ", tz, 1);
    }
    tzset();
  }
  std::string old_tz_;
  bool had_tz_ = false;
  bool saved_ = false;
};

TEST_F(SysinfoTest, HostNameAndEsxFlavour) {
  char name[256];
  EXPECT_EQ(TAVO_get_system_name(name), 0u);
  EXPECT_STREQ(name, "esx-sim");

  EXPECT_EQ(TAVO_get_esx_version(), 2u);  // issue.net names ESXi
  write_file(root_.at("/etc/issue.net"), "VMware ESX 4.1\nWelcome\n");
  EXPECT_EQ(TAVO_get_esx_version(), 2u);  // /etc/banner exists
  unlink(root_.at("/etc/banner").c_str());
  EXPECT_EQ(TAVO_get_esx_version(), 3u);
  write_file(root_.at("/etc/issue.net"), "line\nVMware ESXi 5.5\n");
  EXPECT_EQ(TAVO_get_esx_version(), 2u);
  unlink(root_.at("/etc/issue.net").c_str());
  EXPECT_EQ(TAVO_get_esx_version(), 3u);
}

TEST_F(SysinfoTest, OsVersionFromTheFirstMatchingLine) {
  const struct {
    const char* banner;  // nullptr: no banner
    const char* release;
    uint32_t result, major, minor;
  } cases[] = {
      {"VMware ESXi 5.5\nVMware ESXi 6.0\n", nullptr, 0, 5, 5},
      {"4.1 and 6.5 on one line\n", nullptr, 0, 6, 5},
      {"4.0 then 4.1\n", nullptr, 0, 4, 0},
      {"no version\n", "VMware ESX 6.0\n", 0, 99, 99},  // the banner wins
      {nullptr, "VMware ESX 5.1\n", 0, 5, 1},
      {nullptr, nullptr, 1, 99, 99},
  };
  for (const auto& c : cases) {
    unlink(root_.at("/etc/banner").c_str());
    unlink(root_.at("/etc/vmware-release").c_str());
    if (c.banner) write_file(root_.at("/etc/banner"), c.banner);
    if (c.release) write_file(root_.at("/etc/vmware-release"), c.release);
    uint32_t major = 99, minor = 99;
    char name[256] = "untouched";
    EXPECT_EQ(TAVO_get_os_info(&major, &minor, name), c.result);
    EXPECT_EQ(major, c.major) << (c.banner ? c.banner : "-");
    EXPECT_EQ(minor, c.minor);
    EXPECT_STREQ(name, c.result == 0 ? "VMWare ESX Server" : "untouched");
  }
}

TEST_F(SysinfoTest, LocalTimeFieldsAndUtcBias) {
  const struct {
    const char* tz;
    uint64_t advance_ms;  // from 2026-12-31 00:00:00 UTC
    uint16_t month, year, hour, day, second, minute;
    int16_t bias;
  } cases[] = {
      {"UTC", 0, 12, 2026, 0, 31, 0, 0, 0},
      {"UTC", 3661000, 12, 2026, 1, 31, 1, 1, 0},
      {"UTC", 86400000, 1, 2027, 0, 1, 0, 0, 0},
      {"XST-2", 0, 12, 2026, 2, 31, 0, 0, 120},
      {"XST5", 0, 12, 2026, 19, 30, 0, 0, -300},
      {"XST-5:30", 0, 12, 2026, 5, 31, 0, 30, 330},
      // Summer time in a zone with daylight saving.
      {"CET-1CEST,M3.5.0,M10.5.0/3", 182ull * 86400000, 7, 2027, 2, 1, 0, 0, 120},
  };
  for (const auto& c : cases) {
    reinstall_with("release 6.5.0\n");
    sim_->advance_ms(c.advance_ms);
    set_tz(c.tz);
    uint16_t month = 0, year = 0, hour = 0, day = 0, second = 0, minute = 0, unused = 777;
    int16_t bias = 1;
    EXPECT_EQ(TAVO_get_system_time(&month, &year, &hour, &day, &second, &minute, &unused, &bias), 0u);
    EXPECT_EQ(month, c.month) << c.tz;
    EXPECT_EQ(year, c.year) << c.tz;
    EXPECT_EQ(hour, c.hour) << c.tz;
    EXPECT_EQ(day, c.day) << c.tz;
    EXPECT_EQ(second, c.second) << c.tz;
    EXPECT_EQ(minute, c.minute) << c.tz;
    EXPECT_EQ(bias, c.bias) << c.tz;
    EXPECT_EQ(unused, 777);
  }
}

TEST_F(SysinfoTest, DistributionOfTheKernelRelease) {
  const struct {
    const char* release;
    int32_t code;
  } cases[] = {
      {"2.6.32-131.0.15.el6", 3}, {"3.10.0-327", 17},       {"3.10.0+2", 18},  {"2.6.16.60-0.54.5-smp", 5},
      {"2.6.32.12-0.7.1.xs5.8", 9}, {"2.6.32.12-0.7-default", 4}, {"4.14.20-1", 25}, {"6.5.0", -1},
      {"2.6.9-100.EL", 11},
  };
  for (const auto& c : cases) {
    reinstall_with(std::string("release ") + c.release + "\n");
    EXPECT_EQ(find_os_distribution(), c.code) << c.release;
  }
  for (const auto& e : sim_->log()) EXPECT_NE(e.kind, sim::LogKind::Shell);
  EXPECT_FALSE(file_exists(root_.at("/tmp/kernelname")));
  HookedHost* host = HookedHost::install(root_.path());
  ASSERT_NE(host, nullptr);
  host->uname_fails = true;
  EXPECT_EQ(find_os_distribution(), -1);
}

}  // namespace
}  // namespace tavo::test
