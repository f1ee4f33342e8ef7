#include "simulator/simulator.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "tests/support/sim_fixture.h"

namespace tavo {
namespace {

using platform::fixed_path;
using platform::host;

class SimulatorTest : public test::SimTest {
 protected:
  // Header + payload for one mailbox command.
  static std::vector<uint8_t> command(uint8_t subsystem, uint8_t opcode, uint32_t length, uint8_t version = 0) {
    std::vector<uint8_t> buf(kMailboxHeaderSize + length, 0);
    auto* h = reinterpret_cast<MailboxRequestHeader*>(buf.data());
    h->opcode = opcode;
    h->subsystem = subsystem;
    h->timeout = 120;
    h->request_length = length;
    h->version = version;
    for (uint32_t i = 0; i < length; ++i) buf[kMailboxHeaderSize + i] = static_cast<uint8_t>(i);
    return buf;
  }
  static const MailboxResponseHeader& response(const std::vector<uint8_t>& buf) {
    return *reinterpret_cast<const MailboxResponseHeader*>(buf.data());
  }
  int open_iscsi(int n) {
    return host().device_open(fixed_path(kIscsiDevicePrefix + std::to_string(n)), O_RDWR);
  }
};

TEST_F(SimulatorTest, MailboxReachesResponderAndIsLoggedByteForByte) {
  sim_->on(1, 32, [](sim::Simulator&, sim::MailboxCall& call) {
    EXPECT_FALSE(call.via_nic);
    EXPECT_EQ(call.function->iscsi_device, 1);
    EXPECT_EQ(call.controller->index, 0);
    call.payload[0] = 0xAB;
    return sim::MailboxReply{0, 0, 3};
  });
  int fd = open_iscsi(1);
  ASSERT_GE(fd, 0);
  auto buf = command(1, 32, 8);
  auto sent = buf;
  ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), 0);
  const uint8_t st = response(buf).status;
  const uint32_t actual = response(buf).actual_response_length;
  EXPECT_EQ(st, 0);
  EXPECT_EQ(actual, 3u);
  EXPECT_EQ(buf[kMailboxHeaderSize], 0xAB);
  auto log = sim_->mailbox_log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].device, "/vmfs/devices/char/vmkdriver/cv2iscsi_1");
  EXPECT_EQ(log[0].bytes, sent);
  EXPECT_EQ(host().device_close(fd), 0);
  EXPECT_EQ(sim_->open_device_count(), 0);
}

// The log keeps the latest requests within its bounds, each with the bytes
// it was sent with, however the sizes of those before it varied and
// however often the dropped ones' bytes made room; shell commands keep
// their text and count no bytes.
TEST_F(SimulatorTest, LogKeepsTheLatestRequestsBytesWithinItsBounds) {
  struct Case {
    size_t entries, bytes;
  };
  const Case cases[] = {{5, SIZE_MAX}, {SIZE_MAX, 4000}, {40, 9000}, {3, 0}, {1, 1}, {SIZE_MAX, SIZE_MAX}};
  const uint32_t sizes[] = {8, 1000, 0, 64, 3000, 17};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.entries << " entries, " << c.bytes << " bytes");
    const int fd = open_iscsi(0);
    ASSERT_GE(fd, 0);
    sim_->clear_log();
    sim_->set_log_bounds(c.entries, c.bytes);
    std::vector<sim::LogEntry> sent;  // every request, to be cut as the log is
    for (int i = 0; i < 120; ++i) {
      if (i % 7 == 3) {
        const std::string line = "echo " + std::to_string(i);
        host().shell(line);
        sent.push_back({sim::LogKind::Shell, "", 0, {}, line});
        continue;
      }
      auto buf = command(200, 1, sizes[i % std::size(sizes)]);
      for (size_t j = kMailboxHeaderSize; j < buf.size(); ++j) buf[j] = static_cast<uint8_t>(i * 7 + j);
      sent.push_back({sim::LogKind::IscsiIoctl, "/vmfs/devices/char/vmkdriver/cv2iscsi_0", kIscsiMailboxRequest,
                      c.bytes > 0 ? buf : std::vector<uint8_t>{}, ""});
      ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), 0);
    }
    size_t first = sent.size() - 1, bytes = sent.back().bytes.size();
    while (first > 0 && sent.size() - first < c.entries && bytes + sent[first - 1].bytes.size() <= c.bytes)
      bytes += sent[--first].bytes.size();
    const std::vector<sim::LogEntry> log = sim_->log();
    ASSERT_EQ(log.size(), sent.size() - first);
    for (size_t k = 0; k < log.size(); ++k) {
      const sim::LogEntry& want = sent[first + k];
      EXPECT_EQ(log[k].kind, want.kind) << k;
      EXPECT_EQ(log[k].device, want.device) << k;
      EXPECT_EQ(log[k].request, want.request) << k;
      EXPECT_EQ(log[k].bytes, want.bytes) << k;
      EXPECT_EQ(log[k].command, want.command) << k;
    }
    EXPECT_EQ(sim_->request_count(sim::LogKind::IscsiIoctl), 120u - 17u);
    EXPECT_EQ(sim_->mailbox_count(200, 1), 120u - 17u);
    host().device_close(fd);
  }
}

TEST_F(SimulatorTest, ResponderIsChosenByVersionAndUnmodelledCommandsAreNotSupported) {
  sim_->on(1, 40, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{0, 0, -1}; }, 1);
  int fd = open_iscsi(0);
  auto v0 = command(1, 40, 4, 0);
  ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, v0.data()), 0);
  const uint8_t st0 = response(v0).status;
  EXPECT_EQ(st0, 66);  // no version-0 responder
  auto v1 = command(1, 40, 4, 1);
  ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, v1.data()), 0);
  const uint8_t st1 = response(v1).status;
  const uint32_t len1 = response(v1).actual_response_length;
  EXPECT_EQ(st1, 0);
  EXPECT_EQ(len1, 4u);
  host().device_close(fd);
}

TEST_F(SimulatorTest, InjectedFirmwareStatusEioAndLengthFaults) {
  sim_->on(1, 50, [](sim::Simulator&, sim::MailboxCall&) { return sim::MailboxReply{}; });
  sim::Fault status;
  status.subsystem = 1;
  status.opcode = 50;
  status.status = 23;
  status.additional_status = 87;
  status.times = 2;
  sim_->inject(status);
  sim::Fault eio;
  eio.kind = sim::FaultKind::IoctlErrno;
  eio.opcode = 51;
  eio.err = EIO;
  sim_->inject(eio);
  sim::Fault len;
  len.kind = sim::FaultKind::ResponseLength;
  len.opcode = 52;
  len.length = 100000;
  sim_->inject(len);

  int fd = open_iscsi(0);
  for (int i = 0; i < 3; ++i) {
    auto buf = command(1, 50, 4);
    ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), 0);
    const uint8_t st = response(buf).status;
    const uint16_t add = response(buf).additional_status;
    EXPECT_EQ(st, i < 2 ? 23 : 0) << i;
    EXPECT_EQ(add, i < 2 ? 87 : 0) << i;
  }
  auto buf = command(1, 51, 4);
  errno = 0;
  EXPECT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), -1);
  EXPECT_EQ(errno, EIO);
  buf = command(1, 52, 4);
  ASSERT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), 0);
  const uint32_t actual = response(buf).actual_response_length;
  EXPECT_EQ(actual, 100000u);
  host().device_close(fd);
}

TEST_F(SimulatorTest, SilentFirmwareCostsTheTimeout) {
  sim::Fault f;
  f.kind = sim::FaultKind::NoAnswer;
  f.opcode = 18;
  sim_->inject(f);
  int fd = open_iscsi(0);
  uint64_t before = host().monotonic_ms();
  auto buf = command(2, 18, 4);
  reinterpret_cast<MailboxRequestHeader*>(buf.data())->timeout = 20;
  EXPECT_EQ(host().device_ioctl(fd, kIscsiMailboxRequest, buf.data()), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_EQ(host().monotonic_ms() - before, 20000u);
  host().device_close(fd);
}

TEST_F(SimulatorTest, DeviceNumbersWithGapsAndOpenFaults) {
  EXPECT_GE(open_iscsi(4), 0);
  EXPECT_EQ(open_iscsi(3), -1);  // the default topology has no cv2iscsi_3
  EXPECT_EQ(errno, ENOENT);
  sim::Fault f;
  f.kind = sim::FaultKind::OpenFails;
  f.path_contains = "cv2iscsi_5";
  f.err = EBUSY;
  sim_->inject(f);
  EXPECT_EQ(open_iscsi(5), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_GE(open_iscsi(5), 0);  // once only
}

TEST_F(SimulatorTest, NicWrapperIsCheckedAndRoutedByPciAddress) {
  sim_->on(1, 32, [](sim::Simulator&, sim::MailboxCall& call) {
    EXPECT_TRUE(call.via_nic);
    EXPECT_EQ(call.function->ifname, "vmnic3");
    return sim::MailboxReply{};
  });
  int fd = host().device_open(fixed_path(kNicDevicePath), O_RDWR);
  ASSERT_GE(fd, 0);
  auto cmd = command(1, 32, 4);
  std::vector<uint8_t> wrapper(sizeof(NicIoctlPrefix) + cmd.size());
  auto* p = reinterpret_cast<NicIoctlPrefix*>(wrapper.data());
  memcpy(p->signature, kNicSignature, sizeof kNicSignature);
  p->marker = kNicMarker;
  p->bus = 5;  // controller 1, function 1: vmnic3
  p->device = 0;
  p->function = 1;
  memcpy(wrapper.data() + sizeof(NicIoctlPrefix), cmd.data(), cmd.size());
  ASSERT_EQ(host().device_ioctl(fd, kNicMailboxRequest, wrapper.data()), 0);
  EXPECT_EQ(wrapper[sizeof(NicIoctlPrefix) + 4], 0);  // status
  EXPECT_EQ(sim_->mailbox_log().back().bytes.size(), wrapper.size());

  p->signature[0] = 'X';
  EXPECT_EQ(host().device_ioctl(fd, kNicMailboxRequest, wrapper.data()), -1);
  EXPECT_EQ(errno, EINVAL);
  p->signature[0] = 'H';
  p->function = 7;
  EXPECT_EQ(host().device_ioctl(fd, kNicMailboxRequest, wrapper.data()), -1);
  EXPECT_EQ(errno, ENODEV);
  host().device_close(fd);
}

TEST_F(SimulatorTest, NicSideRequests) {
  int fd = host().device_open(fixed_path(kNicDevicePath), O_RDWR);
  NicChipInfo chips{};
  ASSERT_EQ(host().device_ioctl(fd, kNicChipInfoRequest, &chips), 0);
  ASSERT_EQ(chips.chip_count, 3);
  EXPECT_EQ(chips.chips[0].bus, 3);
  EXPECT_EQ(chips.chips[0].function_count, 2);
  EXPECT_EQ(chips.chips[2].function_count, 4);

  NicCharInfo info{};
  info.bus = 7;
  info.function = 2;
  ASSERT_EQ(host().device_ioctl(fd, kNicMtuRequest, &info), 0);
  const uint8_t* rec = reinterpret_cast<const uint8_t*>(&info);
  EXPECT_EQ(rec[kNicMtuOffset] | rec[kNicMtuOffset + 1] << 8, 9000);

  NicCharInfo vfs{};
  vfs.bus = 5;
  ASSERT_EQ(host().device_ioctl(fd, kNicVfTableRequest, &vfs), 0);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&vfs)[kNicVfCountOffset], 2);
  sim::Fault refuse;
  refuse.kind = sim::FaultKind::VfRefusal;
  sim_->inject(refuse);
  EXPECT_EQ(host().device_ioctl(fd, kNicVfTableRequest, &vfs), -1);

  // PCI configuration: the data lands beside the request whatever the
  // address field says.
  std::vector<uint8_t> buf(kPciConfigDataOffset + 300, 0);
  auto* req = reinterpret_cast<PciConfigRequest*>(buf.data());
  req->bus = 3;
  req->function = 0;
  req->offset = 0;
  req->data_length = 300;
  req->address = 0xDEADBEEF;
  ASSERT_EQ(host().device_ioctl(fd, kNicPciConfigRequest, buf.data()), 0);
  const uint32_t copied = req->data_length;
  EXPECT_EQ(copied, 256u);
  EXPECT_EQ(buf[kPciConfigDataOffset], 0xA0);
  EXPECT_EQ(buf[kPciConfigDataOffset + 1], 0xF1);
  EXPECT_EQ(buf[kPciConfigDataOffset + 2], 0x30);
  host().device_close(fd);
}

TEST_F(SimulatorTest, NicFunctionCountChangesFromAnOpen) {
  sim::Fault f;
  f.kind = sim::FaultKind::NicCountChange;
  f.skip = 1;
  f.nic_count = 5;
  sim_->inject(f);
  int fd = host().device_open(fixed_path(kNicDevicePath), O_RDWR);
  EXPECT_EQ(sim_->nic_function_count(), 8);
  host().device_close(fd);
  fd = host().device_open(fixed_path(kNicDevicePath), O_RDWR);
  EXPECT_EQ(sim_->nic_function_count(), 5);
  host().device_close(fd);
}

TEST_F(SimulatorTest, VmhbaNameOfAnIscsiFunction) {
  int fd = open_iscsi(2);
  char name[kVmhbaNameSize];
  ASSERT_EQ(host().device_ioctl(fd, kIscsiVmhbaNameRequest, name), 0);
  EXPECT_STREQ(name, "vmhba34");
  host().device_close(fd);
}

TEST_F(SimulatorTest, NothingIsWrittenOutsideTheRoot) {
  EXPECT_EQ(host().open("/etc/tavo-should-not-exist", O_WRONLY | O_CREAT, 0644), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(host().mkdir("/var/tavo-should-not-exist", 0755), -1);
  EXPECT_EQ(host().unlink("/tmp/tavo-should-not-exist"), -1);
  EXPECT_EQ(sim_->outside_root_writes().size(), 3u);
  EXPECT_FALSE(test::file_exists("/etc/tavo-should-not-exist"));
  // Shell redirections land under the root too.
  host().shell("uname -r > /tmp/release.txt");
  EXPECT_EQ(test::read_file(root_.at("/tmp/release.txt")), "6.5.0\n");
}

// Whether a write lands under the root is told once its path is resolved:
// "." and ".." names, doubled slashes, a name only beginning with the root's,
// and relative paths from the current directory, which may change between
// calls.
TEST_F(SimulatorTest, WritesUnderTheRootAreToldAfterResolving) {
  const std::string r = root_.path();
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(host().mkdir(r + "/tmp/in", 0755), 0);
  const struct {
    std::string directory;  // "" the test's own
    std::string path;
    bool inside;
  } rows[] = {
      {"", r + "/tmp/a", true},
      {"", r + "//tmp//./b", true},
      {"", r + "/var/../tmp/c", true},
      {"", r + "/tmp/in/../../tmp/d", true},
      {"", r + "/tmp/../../outside-e", false},
      {"", r + "/tmp/in/../../../f", false},
      {"", r + "-sibling/g", false},
      {r + "/tmp/in", "h", true},
      {r + "/tmp/in", "../../../i", false},
      {r + "/tmp", "./in/../j", true},
      {"/", "tmp/k", false},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(chdir(row.directory.empty() ? cwd : row.directory.c_str()), 0);
    const size_t outside = sim_->outside_root_writes().size();
    const int fd = host().open(row.path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = errno;
    if (row.inside) {
      EXPECT_GE(fd, 0) << row.path << " from " << row.directory;
      EXPECT_EQ(sim_->outside_root_writes().size(), outside) << row.path;
      if (fd >= 0) host().close(fd);
    } else {
      EXPECT_EQ(fd, -1) << row.path << " from " << row.directory;
      EXPECT_EQ(err, EACCES) << row.path;
      ASSERT_EQ(sim_->outside_root_writes().size(), outside + 1) << row.path;
      EXPECT_EQ(sim_->outside_root_writes().back(), row.path);
    }
  }
  ASSERT_EQ(chdir(cwd), 0);
  for (const char* name : {"a", "b", "c", "d", "in/h", "j"}) EXPECT_TRUE(test::file_exists(r + "/tmp/" + name)) << name;
}

TEST_F(SimulatorTest, HostFilesAreWrittenUnderTheRoot) {
  std::string conf = test::read_file(root_.at("/etc/vmware/esx.conf"));
  EXPECT_NE(conf.find("/device/003:00.0/vmkname = \"vmnic0\""), std::string::npos);
  EXPECT_NE(conf.find("/device/007:00.3/vmkname = \"vmnic7\""), std::string::npos);
  EXPECT_EQ(test::read_file(root_.at("/etc/issue.net")), "VMware ESXi 6.5.0\n");
}

// Crash points: a child process is killed, or the power fails, at a file
// call.
class CrashTest : public test::SimTest {
 protected:
  int run_child(const std::function<void()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
      body();
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void put(const std::string& path, const std::string& text, bool sync) {
    int fd = host().open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(host().write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    if (sync) host().fsync(fd);
    host().close(fd);
  }
};

// A killed process leaves everything it wrote; a power cut only what was
// flushed, and a rename only once its directory was flushed.
TEST_F(CrashTest, KilledProcessKeepsItsWritesPowerCutOnlyWhatWasFlushed) {
  const std::string target = root_.at("/conf.txt"), tmp = root_.at("/conf.tmp"), other = root_.at("/b.txt");
  const struct {
    sim::FaultKind kind;
    bool sync_file, sync_dir;
    const char* target, *tmp, *other;  // "-": missing
  } rows[] = {
      {sim::FaultKind::Crash, false, false, "unsynced", "-", "new"},
      {sim::FaultKind::PowerCut, false, false, "kept", "-", "-"},
      {sim::FaultKind::PowerCut, true, false, "kept", "synced", "-"},
      {sim::FaultKind::PowerCut, true, true, "synced", "-", "-"},
  };
  for (const auto& r : rows) {
    put(target, "kept", true);
    ::unlink(tmp.c_str());
    ::unlink(other.c_str());
    sim::Fault crash;
    crash.kind = r.kind;
    crash.file_call = "mkdir";
    sim_->inject(crash);
    EXPECT_EQ(run_child([&] {
                put(tmp, r.sync_file ? "synced" : "unsynced", r.sync_file);
                host().rename(tmp, target);
                if (r.sync_dir) host().fsync_dir(root_.path());
                put(other, "new", false);
                host().mkdir(root_.at("/d"), 0755);
              }),
              sim::kCrashExitCode);
    sim_->clear_faults();
    auto content = [](const std::string& p) { return test::file_exists(p) ? test::read_file(p) : "-"; };
    EXPECT_EQ(content(target), r.target) << static_cast<int>(r.kind) << r.sync_file << r.sync_dir;
    EXPECT_EQ(content(tmp), r.tmp) << static_cast<int>(r.kind) << r.sync_file << r.sync_dir;
    EXPECT_EQ(content(other), r.other) << static_cast<int>(r.kind) << r.sync_file << r.sync_dir;
  }
}

// A power cut's kept bytes of what a file was appended since its flush
// stay, as many as were written at most; a file rewritten keeps only what
// was flushed.
TEST_F(CrashTest, APowerCutKeepsThePrefixOfAppendsItIsGiven) {
  const std::string appended = root_.at("/appended.txt"), rewritten = root_.at("/rewritten.txt");
  const auto append = [&](const std::string& text) {
    const int fd = host().open(appended, O_WRONLY | O_APPEND, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(host().write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    host().close(fd);
  };
  const struct {
    int64_t kept;
    const char* appended;
  } rows[] = {{0, "flushed\n"}, {1, "flushed\nf"}, {9, "flushed\nfirst\nsec"}, {13, "flushed\nfirst\nsecond\n"},
              {100, "flushed\nfirst\nsecond\n"}, {-1, "flushed\nfirst\nsecond\n"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.kept);
    put(appended, "flushed\n", true);
    put(rewritten, "flushed\n", true);
    sim::Fault cut;
    cut.kind = sim::FaultKind::PowerCut;
    cut.file_call = "mkdir";
    cut.kept = r.kept;
    sim_->inject(cut);
    EXPECT_EQ(run_child([&] {
                append("first\n");
                append("second\n");
                put(rewritten, "unflushed and longer\n", false);
                host().mkdir(root_.at("/d"), 0755);
              }),
              sim::kCrashExitCode);
    sim_->clear_faults();
    EXPECT_EQ(test::read_file(appended), r.appended);
    EXPECT_EQ(test::read_file(rewritten), "flushed\n");
  }
}

// A cut of a file appended to since its flush: a power cut after it keeps
// what was flushed, and the process keeps its record lock on the file
// meanwhile (reading the flushed bytes by a second descriptor would drop it).
TEST_F(CrashTest, ACutOfAnAppendedFileKeepsTheFlushedBytesAndTheLock) {
  const std::string file = root_.at("/notes.txt");
  for (const bool flushed_some : {false, true}) {
    SCOPED_TRACE(flushed_some);
    put(file, flushed_some ? "flushed\n" : "", true);
    EXPECT_EQ(run_child([&] {
                const int fd = host().open(file, O_WRONLY | O_APPEND, 0644);
                struct flock whole{};
                whole.l_type = F_WRLCK;
                whole.l_whence = SEEK_SET;
                if (fd < 0 || fcntl(fd, F_SETLK, &whole) != 0 || host().write(fd, "unflushed\n", 10) != 10 ||
                    host().truncate(fd, 0) != 0)
                  _exit(1);
                // Another process finds the lock still held.
                const pid_t other = fork();
                if (other == 0) {
                  const int own = ::open(file.c_str(), O_RDONLY);
                  struct flock ask{};
                  ask.l_type = F_RDLCK;
                  ask.l_whence = SEEK_SET;
                  _exit(own >= 0 && fcntl(own, F_GETLK, &ask) == 0 && ask.l_type == F_WRLCK ? 0 : 2);
                }
                int status = 0;
                waitpid(other, &status, 0);
                if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) _exit(3);
                sim::Fault cut;
                cut.kind = sim::FaultKind::PowerCut;
                cut.file_call = "mkdir";
                sim_->inject(cut);
                host().mkdir(root_.at("/d"), 0755);
              }),
              sim::kCrashExitCode);
    sim_->clear_faults();
    EXPECT_EQ(test::read_file(file), flushed_some ? "flushed\n" : "");
  }
}

TEST(Topology, ParseErrorsNameTheLine) {
  sim::Topology t;
  std::string error;
  EXPECT_FALSE(sim::parse_topology("controller 0\nnic controller=1 function=0\n", &t, &error));
  EXPECT_EQ(error, "line 2: function of an undefined controller");
  EXPECT_FALSE(sim::parse_topology("controller 0 generation=cv9\n", &t, &error));
  EXPECT_EQ(error, "line 1: unknown generation cv9");
  EXPECT_FALSE(sim::parse_topology(
      "controller 0\niscsi controller=0 function=2 device=4\niscsi controller=0 function=3 device=4\n", &t, &error));
  EXPECT_EQ(error, "line 3: iscsi device number used twice");
  for (const char* bad : {"pcie=3x", "pcie=8x4", "oneview=yes", "domain=-1", "ffv=123456789012345678901234567890123"}) {
    EXPECT_FALSE(sim::parse_topology(std::string("controller 0 ") + bad + "\n", &t, &error)) << bad;
    EXPECT_EQ(error, "line 1: bad temperature, ffv, oneview, pcie or domain");
  }
  ASSERT_TRUE(sim::parse_topology(sim::default_topology_text(), &t, &error)) << error;
  EXPECT_EQ(t.controllers.size(), 3u);
  EXPECT_EQ(t.ports.size(), 8u);  // every port a function serves
  struct Row {
    const char* line;
    const char* error;
  } ports[] = {
      {"port controller=0 port=4", "port needs controller=0-15 and port=0-3"},
      {"port controller=1 port=0", "port of an undefined controller"},
      {"port controller=0 port=0 beacon=blink", "bad state, link, beacon, pause, speed-list, transceiver or baset"},
      {"port controller=0 port=0 speed=256", "bad number in a port line"},
      {"port controller=0 port=0 wwpn=2001", "bad wwpn (16 hexadecimal digits)"},
      {"port controller=0 port=0 op-modes=1,8", "bad op-modes (modes 0-7)"},
      {"port controller=0 port=0 tlv=admin/15/1/3260/16", "bad tlv (view/slot/selector/protocol/priorities[/oui])"},
      {"port controller=0 port=0 tlv=own/1/1/3260/16", "bad tlv (view/slot/selector/protocol/priorities[/oui])"},
  };
  for (const Row& r : ports) {
    EXPECT_FALSE(sim::parse_topology(std::string("controller 0\n") + r.line + "\n", &t, &error)) << r.line;
    EXPECT_EQ(error, std::string("line 2: ") + r.error);
  }
}

}  // namespace
}  // namespace tavo

namespace tavo {
namespace {

// Tracking unsynced data must not open a second descriptor: closing it would
// drop the process's fcntl locks on the file.
TEST_F(CrashTest, WritesKeepTheProcessesRecordLocks) {
  std::string path = root_.at("/locked.txt");
  put(path, "synced", true);
  int fd = host().open(path, O_WRONLY | O_APPEND, 0644);
  ASSERT_GE(fd, 0);
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  ASSERT_EQ(host().lock(fd, F_SETLK, &fl), 0);
  ASSERT_EQ(host().write(fd, "more", 4), 4);
  int fd2 = host().open(root_.at("/other.txt"), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  host().close(fd2);
  EXPECT_EQ(run_child([&] {
              int cfd = ::open(path.c_str(), O_RDWR);
              struct flock probe = {};
              probe.l_type = F_WRLCK;
              probe.l_whence = SEEK_SET;
              ::fcntl(cfd, F_GETLK, &probe);
              _exit(probe.l_type == F_WRLCK ? 0 : 1);
            }),
            0);
  host().close(fd);
}

}  // namespace
}  // namespace tavo
