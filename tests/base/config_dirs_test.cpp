#include <sys/stat.h>

#include <string>

#include "tests/support/sim_fixture.h"
#include "tests/tree/file_mode.h"
#include "base/debug_log.h"
#include "base/timing.h"

namespace tavo::test {
namespace {

class ConfigDirsTest : public SimTest {
 protected:
  mode_t mode_of(const std::string& fixed) { return file_mode(root_.at(fixed)); }
  // A host that is not ESXi: no ESXi line in /etc/issue.net, no /etc/banner.
  void not_esxi() {
    write_file(root_.at("/etc/issue.net"), "VMware ESX 4.1\n");
    unlink(root_.at("/etc/banner").c_str());
  }
};

TEST_F(ConfigDirsTest, LogDirectoryIsCreatedSearchable) {
  ASSERT_EQ(chmod(root_.at("/scratch").c_str(), 0700), 0);
  EXPECT_EQ(TAVO_config_log_dir_permissions(), 0u);
  EXPECT_EQ(mode_of("/var/log/QVL/tavo"), 0755u);
  EXPECT_EQ(mode_of("/scratch"), 0700u);  // an ESXi host keeps it
  // An existing directory only gets its mode.
  ASSERT_EQ(chmod(root_.at("/var/log/QVL/tavo").c_str(), 0700), 0);
  sim_->clear_log();
  EXPECT_EQ(TAVO_config_log_dir_permissions(), 0u);
  EXPECT_EQ(mode_of("/var/log/QVL/tavo"), 0755u);
  for (const auto& e : sim_->log()) EXPECT_NE(e.kind, sim::LogKind::Shell);
  EXPECT_TRUE(sim_->outside_root_writes().empty());
}

TEST_F(ConfigDirsTest, ScratchOnHostsThatAreNotEsxi) {
  not_esxi();
  ASSERT_EQ(chmod(root_.at("/scratch").c_str(), 0700), 0);
  TAVO_config_log_dir_permissions();
  EXPECT_EQ(mode_of("/scratch"), 0755u);
  ASSERT_EQ(rmdir(root_.at("/scratch").c_str()), 0);
  TAVO_config_dir_permssions();
  EXPECT_EQ(mode_of("/scratch"), 0755u);
}

TEST_F(ConfigDirsTest, ConfigurationDirectoryTimersAndSavedFiles) {
  tavo_glob_timer[5] = TavoTimeStamp{7, 8};
  write_file(root_.at("/etc/config/QVL/tavo/savetgt.txt"), "t\n");
  ASSERT_EQ(chmod(root_.at("/etc/config/QVL/tavo/savetgt.txt").c_str(), 0644), 0);
  ASSERT_EQ(chmod(root_.at("/etc/config/QVL/tavo").c_str(), 0700), 0);
  TAVO_config_dir_permssions();
  EXPECT_EQ(mode_of("/etc/config/QVL/tavo"), 0755u);
  EXPECT_EQ(mode_of("/etc/config/QVL/tavo/savetgt.txt"), 0600u);  // it holds CHAP secrets
  EXPECT_FALSE(file_exists(root_.at("/etc/config/QVL/tavo/savestp.txt")));
  EXPECT_EQ(tavo_glob_timer[5].seconds, 0u);
  EXPECT_EQ(tavo_glob_timer[5].microseconds, 0u);
}

// A link planted at a saved file is left alone, and so is the file it
// names.
TEST_F(ConfigDirsTest, ModesAreNeverSetThroughALink) {
  const std::string secret = root_.at("/secret");
  write_file(secret, "");
  ASSERT_EQ(chmod(secret.c_str(), 0640), 0);
  write_file(root_.at("/etc/config/QVL/tavo/savestp.txt"), "p\n");  // makes the directory
  ASSERT_EQ(symlink(secret.c_str(), root_.at("/etc/config/QVL/tavo/savetgt.txt").c_str()), 0);
  TAVO_config_dir_permssions();
  EXPECT_EQ(mode_of("/secret"), 0640u);
  EXPECT_EQ(mode_of("/etc/config/QVL/tavo/savestp.txt"), 0600u);
}

// Directories are made with the host's mkdir, never a shell: a root may
// hold any character.
TEST_F(ConfigDirsTest, AnyRootGetsItsDirectoriesAndRunsNoShell) {
  for (const char* name : {"", "/a;touch x;b", "/with blank", "/$(touch y)`z`", "/'q'\"p\""}) {
    const std::string root = root_.path() + name;
    ASSERT_TRUE(name[0] == '\0' || mkdir(root.c_str(), 0755) == 0) << name;
    setenv("TAVO_ROOT", root.c_str(), 1);
    sim_ = sim::install("default", root);
    ASSERT_NE(sim_, nullptr);
    TAVO_config_log_dir_permissions();
    TAVO_config_dir_permssions();
    EXPECT_EQ(file_mode(root + "/var/log/QVL/tavo"), 0755u) << name;
    EXPECT_EQ(file_mode(root + "/etc/config/QVL/tavo"), 0755u) << name;
    for (const auto& e : sim_->log()) EXPECT_NE(e.kind, sim::LogKind::Shell) << name << ": " << e.command;
    EXPECT_TRUE(sim_->outside_root_writes().empty()) << name;
  }
}

// A root that is no directory (or lies below one that is not) fails the
// start with a status naming it; a missing root is made.
TEST_F(ConfigDirsTest, ARootThatIsNoDirectoryFailsTheStart) {
  write_file(root_.path() + "/file", "x");
  for (const std::string name : {"/file", "/file/below", "/missing/root"}) {
    const std::string root = root_.path() + name;
    const bool usable = name == "/missing/root";
    setenv("TAVO_ROOT", root.c_str(), 1);
    sim_ = sim::install("default", root);
    EXPECT_EQ(TAVO_init(), usable ? 0u : 1u) << name;
    uint32_t code = 0;
    char text[TAVO_STATUS_TEXT_SIZE] = "";
    TAVO_get_last_status(&code, text);
    EXPECT_EQ(text, usable ? "" : "libtavo: TAVO_ROOT=" + root + ": not a directory") << name;
    if (usable) TAVO_exit();
  }
}

}  // namespace
}  // namespace tavo::test
