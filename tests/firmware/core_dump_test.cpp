// RetrieveTessmarkCoreDump decoded back: segment records of component 1
// from each generation's template and of the components the firmware
// lists, deflated segments, the closing record, the dump strings and chip
// states, and a dump file that fails or fills up.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/compress.h"
#include "firmware/core_dump.h"
#include "tests/firmware/firmware_fixture.h"
#include "transport/device_ids.h"
#include "transport/firmware_records.h"

namespace tavo::test {
namespace {

const Status kRebootNow{239, "The operation completed successfully. Please reboot the machine immediately in order to "
                             "avoid inconsistent behaviour."};
const Status kWriteFailed{270, "Failed to create core dump file. Please check tavo2d.log file for more information."};

std::string adapter(const char* generation, const std::string& keys = "", int first_function = 0) {
  std::string t = std::string("controller 0 generation=") + generation + " serial=TM7 bus=3 " + keys + "\n";
  for (int f = first_function; f < first_function + 2; ++f)
    t += "nic controller=0 function=" + std::to_string(f) + " port=" + std::to_string(f) + " name=vmnic" +
         std::to_string(f) + "\n";
  return t;
}

struct Segment {
  CoreDumpSegmentHeader header;
  std::string data;  // inflated when compressed
};
struct Dump {
  std::vector<Segment> segments;
  CoreDumpRecord record{};
  bool whole = false;  // the records fill the file exactly
};

Dump decode(const std::string& file) {
  Dump d;
  size_t at = 0;
  while (file.size() - at > sizeof(CoreDumpRecord)) {
    Segment s;
    memcpy(&s.header, file.data() + at, sizeof s.header);
    if (memcmp(s.header.magic, "sEgM", 4) != 0 || s.header.header_length != 64 ||
        s.header.length > file.size() - at - 64)
      return d;
    s.data = file.substr(at + 64, s.header.length);
    if (s.header.compressed) {
      uint32_t length = 0;
      memcpy(&length, s.data.data() + s.data.size() - 4, 4);
      std::string inflated(length, '\0');
      if (UncompressData(reinterpret_cast<const uint8_t*>(s.data.data()), static_cast<uint32_t>(s.data.size() - 4),
                         reinterpret_cast<uint8_t*>(inflated.data()), length) != length)
        return d;
      s.data = inflated;
    }
    at += 64 + s.header.length;
    d.segments.push_back(s);
  }
  if (file.size() - at != sizeof(CoreDumpRecord)) return d;
  memcpy(&d.record, file.data() + at, sizeof d.record);
  d.whole = memcmp(d.record.magic, "cOrE", 4) == 0;
  return d;
}

// What the simulated firmware answers for a segment instance.
std::string content(uint32_t component, uint32_t segment, uint32_t instance, uint32_t length) {
  std::string out(length, '\0');
  for (uint32_t i = 0; i < length; ++i) out[i] = static_cast<char>(component * 31 + segment * 7 + instance * 3 + i);
  return out;
}

// (component, segment, instance) of each record.
std::vector<std::vector<uint32_t>> ids(const Dump& d) {
  std::vector<std::vector<uint32_t>> out;
  for (const Segment& s : d.segments) out.push_back({s.header.component, s.header.segment, s.header.instance});
  return out;
}

// The firmware's listed components from `from` on: two instances of a
// 300-byte segment and one of 70,000 bytes each.
void add_listed(std::vector<std::vector<uint32_t>>* out, uint32_t from) {
  for (uint32_t c = from; c <= 4; ++c) {
    out->push_back({c, 0, 0});
    out->push_back({c, 0, 1});
    out->push_back({c, 1, 0});
  }
}

class CoreDumpTest : public FirmwareTest {
 protected:
  uint32_t dump(const std::vector<std::string>& params, int controller = 0) {
    sim_->clear_log();
    return act("Corvane" + std::to_string(controller) + "/RetrieveTessmarkCoreDump", params);
  }
  Dump decoded(const std::string& path = "/tmp/core.dmp") { return decode(read_file(root_.at(path))); }
  // Every record's data is what the firmware answered for it.
  void expect_contents(const Dump& d, const CoreDumpSegmentTemplate* table) {
    for (const Segment& s : d.segments) {
      const CoreDumpSegmentHeader& h = s.header;
      const uint32_t length = h.component == 1 ? std::min(table[h.segment].length, 96u * 1024)
                              : h.segment == 0 ? 300u
                                               : 70000u;
      EXPECT_EQ(s.data, content(h.component, h.segment, h.instance, length)) << h.component << "/" << h.segment;
      EXPECT_EQ(h.compressed, h.component == 1 ? table[h.segment].compress : 0u);
      EXPECT_EQ(h.second, h.component == 1 ? table[h.segment].second : 0);
      EXPECT_EQ(h.first, h.component == 1 ? 0 : 1) << "the listed segment's low version";
      EXPECT_EQ(h.status, 0u);
    }
  }
};

TEST_F(CoreDumpTest, LiveDumpsOfEachGeneration) {
  struct Case {
    const char* generation;
    const CoreDumpSegmentTemplate* table;
    std::vector<uint32_t> live;
    uint32_t hpi_intf, asic_id;
  };
  const Case cases[] = {
      {"cv2", cv2_template, {112, 113, 114, 115}, 0xC0010040, 0x200},
      {"cv3", cv3_template, {112, 113, 114, 115, 128, 129, 130}, 0xC0010140, 0x300},
      {"moravel", mrv_template, {112, 113, 114, 115, 128, 129, 130}, 0xC0010F40, 0x410},
  };
  for (const Case& c : cases) {
    start(adapter(c.generation));
    ASSERT_EQ(dump({"/tmp/core.dmp"}), 0u) << c.generation;
    EXPECT_EQ(last_status(), kNone);
    const Dump d = decoded();
    ASSERT_TRUE(d.whole) << c.generation;
    std::vector<std::vector<uint32_t>> expected;
    for (uint32_t id : c.live) expected.push_back({1, id, 0});
    add_listed(&expected, 2);
    EXPECT_EQ(ids(d), expected) << c.generation;
    expect_contents(d, c.table);
    EXPECT_EQ(std::string(d.record.dump_string), "live");
    EXPECT_EQ(d.record.segments, expected.size());
    EXPECT_EQ(d.record.one, 1);
    EXPECT_EQ(d.record.chip_state, 0);
    EXPECT_EQ(d.record.hpi_intf, c.hpi_intf);
    EXPECT_EQ(d.record.asic_id, c.asic_id);
    EXPECT_EQ(d.record.dump_status, 0u);
    EXPECT_EQ(d.record.low_version, 1);
    EXPECT_GE(d.record.started.year, 2026);
  }
}

TEST_F(CoreDumpTest, DeadDumpsReadDeadSegmentsDeflatedWhereAsked) {
  struct Case {
    const char* generation;
    const CoreDumpSegmentTemplate* table;
    size_t entries;
    std::string keys, requested;
    size_t records;         // of component 1
    uint32_t memory_pieces;  // of its memory segment (256)
  };
  const Case cases[] = {
      {"cv2", cv2_template, 306, "", "Dead", 36 + 44, (32 << 20) / 64000 + 1},
      {"cv3", cv3_template, 306, "", "Dead", 41 + 27, (64 << 20) / 64000 + 1},
      {"cv3", cv3_template, 306, "chip-state=dead", "", 41 + 27, (64 << 20) / 64000 + 1},
      {"moravel", mrv_template, 338, "", "Dead", 55 + 32, (128 << 20) / 64000 + 1},
  };
  for (const Case& c : cases) {
    start(adapter(c.generation, c.keys));
    // The log keeps every request of the dump (a memory segment of up to
    // 128 MiB is read in pieces of 64,000 bytes).
    sim_->set_log_bounds(SIZE_MAX, SIZE_MAX);
    std::vector<std::string> params = {"/tmp/core.dmp"};
    if (!c.requested.empty()) params.push_back(c.requested);
    ASSERT_EQ(dump(params), 0u);
    EXPECT_EQ(last_status(), kRebootNow);
    const Dump d = decoded();
    ASSERT_TRUE(d.whole) << c.generation;
    std::vector<std::vector<uint32_t>> expected;
    for (uint32_t id = 0; id < c.entries; ++id)
      for (uint32_t i = 0; c.table[id].dead && i <= c.table[id].highest_instance; ++i) expected.push_back({1, id, i});
    EXPECT_EQ(expected.size(), c.records) << c.generation;
    add_listed(&expected, 4);  // components 2 and 3 are left out of a dead dump
    EXPECT_EQ(ids(d), expected) << c.generation;
    expect_contents(d, c.table);
    EXPECT_EQ(d.record.chip_state, 1);
    EXPECT_EQ(std::string(d.record.dump_string), "Dead");
    // The memory segment goes in pieces of 64,000 bytes.
    uint32_t memory_pieces = 0;
    for (const auto& p : payloads(11, 24)) {
      CoreDumpSegmentRequest r;
      memcpy(&r, p.data(), 24);
      memory_pieces += r.component == 1 && r.segment == 256;
    }
    EXPECT_EQ(memory_pieces, c.memory_pieces) << c.generation;
  }
}

TEST_F(CoreDumpTest, TestDumpsUseTheTestTemplate) {
  start(adapter("moravel"));
  ASSERT_EQ(dump({"/tmp/core.dmp", "Test"}), 0u);
  EXPECT_EQ(last_status(), kNone);
  const Dump d = decoded();
  ASSERT_TRUE(d.whole);
  EXPECT_EQ(std::string(d.record.dump_string), "Test live");
  std::vector<std::vector<uint32_t>> expected;
  for (uint32_t id : {208u, 209u, 211u, 212u, 214u, 215u, 217u, 218u, 219u, 220u, 221u})
    for (uint32_t i = 0; i <= (id == 214 ? 4095u : 0u); ++i) expected.push_back({1, id, i});
  add_listed(&expected, 2);
  EXPECT_EQ(ids(d), expected);
  expect_contents(d, test_template);
  EXPECT_EQ(d.record.segments, expected.size());
  // Lengths of the pieces asked for: 64,001 bytes as 64,000 and 1; an empty
  // segment as one piece of 0.
  std::vector<uint32_t> long_pieces, empty_pieces;
  for (const auto& p : payloads(11, 24)) {
    CoreDumpSegmentRequest r;
    memcpy(&r, p.data(), 24);
    if (r.component == 1 && r.segment == 221) long_pieces.push_back(r.length);
    if (r.component == 1 && r.segment == 219) empty_pieces.push_back(r.length);
  }
  EXPECT_EQ(long_pieces, (std::vector<uint32_t>{64000, 1}));
  EXPECT_EQ(empty_pieces, std::vector<uint32_t>{0});
}

TEST_F(CoreDumpTest, DumpsWithoutSegments) {
  struct Case {
    const char* what;
    std::string topology;
    int controller;
    std::vector<std::string> params;
    std::string recorded;
    uint32_t hpi_intf, dump_status;
  };
  const Case cases[] = {
      {"Galtor", "default", 1, {"/tmp/core.dmp"}, "", 0xC0010A40, 0},
      {"Galtor with a string", "default", 1, {"/tmp/core.dmp", "Test"}, "Test", 0xC0010A40, 0},
      {"no NIC function 0", adapter("cv3", "", 1), 0, {"/tmp/core.dmp"}, "live", 0xC0010140, kDumpStatusIncomplete},
  };
  for (const Case& c : cases) {
    start(c.topology == "default" ? sim::default_topology_text() : c.topology);
    ASSERT_EQ(dump(c.params, c.controller), 0u) << c.what;
    EXPECT_EQ(last_status(), kNone) << c.what;
    EXPECT_EQ(mailbox_count(11, 24), 0) << c.what;
    const Dump d = decoded();
    ASSERT_TRUE(d.whole) << c.what;
    EXPECT_TRUE(d.segments.empty());
    EXPECT_EQ(std::string(d.record.dump_string), c.recorded) << c.what;
    EXPECT_EQ(d.record.hpi_intf, c.hpi_intf) << c.what;
    EXPECT_EQ(d.record.dump_status, c.dump_status) << c.what;
    EXPECT_EQ(d.record.segments, 0u);
  }
}

TEST_F(CoreDumpTest, FirmwareFailuresLeaveARecordOfWhatWasRead) {
  start(adapter("cv2"));
  // Properties that cannot be read stand for a dead chip of no known kind.
  fail_mailbox(11, 21, 3);
  ASSERT_EQ(dump({"/tmp/core.dmp"}), 0u);
  Dump d = decoded();
  ASSERT_TRUE(d.whole);
  std::vector<std::vector<uint32_t>> expected;
  add_listed(&expected, 4);
  EXPECT_EQ(ids(d), expected);
  EXPECT_EQ(d.record.chip_state, 1);
  EXPECT_EQ(d.record.hpi_intf, 0u);
  EXPECT_EQ(std::string(d.record.dump_string), "Dead");
  EXPECT_EQ(last_status(), kNone) << "no known generation to reboot";
  // A first piece that fails leaves an empty record, and marks the dump.
  fail_mailbox(11, 24, 3);
  ASSERT_EQ(dump({"/tmp/core.dmp", "live"}), 0u);
  d = decoded();
  ASSERT_TRUE(d.whole);
  ASSERT_FALSE(d.segments.empty());
  EXPECT_EQ(d.segments[0].header.length, 0u);
  EXPECT_EQ(d.record.segments, d.segments.size());
  EXPECT_EQ(d.record.dump_status, kDumpStatusIncomplete);
  EXPECT_EQ(last_status().first, 269u);
  // Components and segments the firmware refuses are passed over.
  fail_mailbox(11, 22, 3);
  fail_mailbox(11, 23, 3).skip = 1;
  ASSERT_EQ(dump({"/tmp/core.dmp", "live"}), 0u);
  EXPECT_EQ(ids(decoded()).size(), 4u + 2u + 3u);
}

TEST_F(CoreDumpTest, AFailingDumpFileNeverLooksWhole) {
  start(adapter("cv2"));
  struct Case {
    const char* what;
    sim::FaultKind kind;
    const char* call;
    int err, skip, times;
    uint32_t result;
    Status status;
    size_t segments;
  };
  const Case cases[] = {
      {"a full disk once", sim::FaultKind::FileErrno, "write", 28, 1, 1, 0, kWriteFailed, 4 + 9 - 1},
      {"a full disk", sim::FaultKind::FileErrno, "write", 28, 0, -1, 1, kWriteFailed, 0},
      {"short writes", sim::FaultKind::ShortWrite, "write", 0, 0, -1, 0, kNone, 4 + 9},
      {"the record not permitted", sim::FaultKind::FileErrno, "open", 1, 2 + 4 + 9, 1, 1,
       {319, "Failed to create file under specified directory because write operations are not supported."}, 0},
  };
  for (const Case& c : cases) {
    sim::Fault f;
    f.kind = c.kind;
    f.file_call = c.call;
    f.path_contains = "core.dmp";
    f.err = c.err;
    f.skip = c.skip;
    f.times = c.times;
    sim_->clear_faults();
    sim_->inject(f);
    EXPECT_EQ(dump({"/tmp/core.dmp"}), c.result) << c.what;
    EXPECT_EQ(last_status(), c.status) << c.what;
    const Dump d = decoded();
    EXPECT_EQ(d.whole, c.result == 0) << c.what;
    if (d.whole) {
      EXPECT_EQ(d.record.segments, c.segments) << c.what;
    }
  }
  sim_->clear_faults();
  EXPECT_EQ(dump({"/tmp/no/such/dir/core.dmp"}), 1u);
  EXPECT_EQ(last_status(), Status(257, "Invalid file name or path name given. Please provide valid file name or path "
                                       "name."));
}

TEST_F(CoreDumpTest, TheHostInterfaceRegisterTellsTheGeneration) {
  struct Case {
    uint32_t hpi_intf, asic_id, generation;
  };
  const Case cases[] = {
      {0, 0, 0xFFFF},           {0xC0010040, 0, 2},   {0xC0010140, 7, 3},     {0xC0010A40, 0, 4},
      {0xC0010B40, 0, 4},       {0xC0010F40, 0x410, 5}, {0xC0010240, 0x411, 5}, {0xC0010F40, 0x412, 0},
      {0xC0010C40, 0x410, 0},   {0x10F40, 0x410, 0},    {0xFFFFF, 0, 0},
  };
  for (const Case& c : cases) {
    uint32_t generation = 99;
    EXPECT_EQ(TAVO_get_asic_type(c.hpi_intf, &generation, c.asic_id), 0u);
    EXPECT_EQ(generation, c.generation) << std::hex << c.hpi_intf;
  }
}

}  // namespace
}  // namespace tavo::test
