#include "tests/support/client_fixture.h"

#include <string.h>

#include <sstream>

#include "base/debug_log.h"
#include "base/memory.h"
#include "tavo/tavo.h"
#include "transport/command_table.h"
#include "transport/device_layout.h"
#include "transport/glob_access.h"
#include "tree/waiting.h"
#include "tree/tree.h"

namespace tavo::test {
namespace {

void write_debug_level() {
  write_file(getenv("TAVO_ROOT") + std::string("/etc/config/QVL/tavo/libtavo.conf"), "#\n#\nTAVOLogLevel 6");
}

void leave_all() {
  while (get_node(0) != nullptr && TAVO_exit() == 0 && get_node(0) != nullptr) {
  }
}

}  // namespace

void ClientTest::SetUp() {
  SimTest::SetUp();
  transport::reset_glob();
  baseline_allocations_ = tavo_counter;
  write_debug_level();
  ASSERT_EQ(TAVO_init(), 0u);
}

void ClientTest::TearDown() {
  leave_all();
  EXPECT_EQ(sim_->open_device_count(), 0);
  EXPECT_EQ(tavo_counter, baseline_allocations_);
  for (const std::string& path : sim_->outside_root_writes()) ADD_FAILURE() << "written outside the root: " << path;
  transport::reset_glob();
  SimTest::TearDown();
}

void ClientTest::use(const std::string& topology_text) {
  leave_all();
  EXPECT_EQ(sim_->open_device_count(), 0);
  ::unlink(root_.at("/etc/vmware/esx.conf").c_str());
  ::unlink(root_.at("/var/log/QVL/tavo/tavo2d.log").c_str());
  reinstall_with(topology_text);
  transport::reset_glob();
}

uint32_t ClientTest::restart(const std::string& topology_text) {
  use(topology_text);
  return TAVO_init();
}

uint32_t ClientTest::tag(const std::string& path) {
  uint32_t current = 0;
  std::istringstream parts(path);
  std::string name;
  while (std::getline(parts, name, '/')) {
    if (name.empty() || name == "ROOT") continue;
    uint32_t next = kNoTag;
    if (TAVO_get_node_tag(current, name.c_str(), &next, TAVO_KIND_ANY) != 0) return kNoTag;
    current = next;
  }
  return current;
}

std::string ClientTest::get(const std::string& path) {
  const size_t slash = path.rfind('/');
  const uint32_t group = tag(slash == std::string::npos ? "" : path.substr(0, slash));
  const uint32_t property = tag(path);
  char value[TAVO_VALUE_SIZE] = "";
  if (group == kNoTag || property == kNoTag || TAVO_get_property_val(group, property, value, sizeof value) != 0)
    return "<unreadable>";
  return value;
}

uint32_t ClientTest::set(const std::string& path, const std::string& value) {
  const size_t slash = path.rfind('/');
  const uint32_t group = tag(slash == std::string::npos ? "" : path.substr(0, slash));
  return TAVO_set_property_val(group, tag(path), value.c_str(), static_cast<uint32_t>(value.size() + 1));
}

uint32_t ClientTest::act(const std::string& path, const std::vector<std::string>& values,
                         std::vector<uint32_t>* new_tags) {
  std::vector<char> params(TAVO_MAX_PARAMS * TAVO_VALUE_SIZE, '\0');
  for (size_t i = 0; i < TAVO_MAX_PARAMS; ++i) {
    char* slot = &params[i * TAVO_VALUE_SIZE];
    if (i < values.size())
      snprintf(slot, TAVO_VALUE_SIZE, "%s", values[i].c_str());
    else
      slot[0] = static_cast<char>(TAVO_NOT_GIVEN);
  }
  const size_t slash = path.rfind('/');
  std::vector<uint32_t> created(new_tags != nullptr ? TAVO_MAX_NEW_TAGS : 0);
  const uint32_t r = TAVO_do_action(tag(slash == std::string::npos ? "" : path.substr(0, slash)), tag(path),
                                    params.data(), new_tags != nullptr ? created.data() : nullptr);
  if (new_tags != nullptr) {
    new_tags->clear();
    for (uint32_t t : created) {
      if (t == 0) break;
      new_tags->push_back(t);
    }
  }
  return r;
}

std::vector<std::string> ClientTest::children(const std::string& path, uint32_t kind) {
  std::vector<uint32_t> tags(4096);
  uint32_t count = 0;
  std::vector<std::string> names;
  if (TAVO_get_child_tags(tag(path), tags.data(), &count, kind) != 0) return names;
  for (uint32_t i = 0; i < count; ++i) {
    char name[TAVO_NAME_SIZE] = "";
    TavoNode* n = get_node(tags[i]);
    TAVO_get_node_name(tags[i], name, n != nullptr ? n->kind : kind);
    names.emplace_back(name);
  }
  return names;
}

void ClientTest::walk_whole_tree() {
  std::vector<uint32_t> groups{0};
  while (!groups.empty()) {
    const uint32_t group = groups.back();
    groups.pop_back();
    std::vector<uint32_t> tags(TAVO_MAX_CHILDREN);
    uint32_t count = 0;
    if (TAVO_get_child_tags(group, tags.data(), &count, TAVO_KIND_GROUP) == 0)
      groups.insert(groups.end(), tags.begin(), tags.begin() + count);
  }
}

std::vector<std::string> ClientTest::ordered_children(const std::string& path) {
  std::vector<std::string> names;
  TavoNode* group = get_node(tag(path));
  if (group == nullptr || group->kind != TAVO_KIND_GROUP) return names;
  for (TavoNode* c = tree::first_child(group); c != group; c = c->next) {
    char name[TAVO_NAME_SIZE];
    tree::display_name(c, name);
    names.emplace_back(name);
  }
  return names;
}

std::pair<uint32_t, std::string> ClientTest::last_status() {
  uint32_t code = 0;
  char text[TAVO_STATUS_TEXT_SIZE] = "";
  TAVO_get_last_status(&code, text);
  return {code, text};
}

std::string ClientTest::debug_log() {
  if (tavo_log_fp != nullptr) fflush(tavo_log_fp);
  return read_file(root_.at("/var/log/QVL/tavo/tavo2d.log"));
}

int ClientTest::log_count(const std::string& text) {
  std::istringstream lines(debug_log());
  std::string line;
  int n = 0;
  while (std::getline(lines, line)) n += line.find(text) != std::string::npos;
  return n;
}

namespace {

// The mailbox header and payload of a logged request; false when it holds
// no header.
bool client_request(const sim::LogEntry& e, MailboxRequestHeader* h, std::vector<uint8_t>* payload) {
  const size_t at = e.kind == sim::LogKind::NicIoctl ? sizeof(NicIoctlPrefix) : 0;
  if (e.bytes.size() < at + sizeof *h) return false;
  memcpy(h, e.bytes.data() + at, sizeof *h);
  if (payload != nullptr) payload->assign(e.bytes.begin() + static_cast<long>(at + sizeof *h), e.bytes.end());
  return true;
}

}  // namespace

int ClientTest::mailbox_count(uint8_t subsystem, uint8_t opcode) {
  return static_cast<int>(sim_->mailbox_count(subsystem, opcode));
}

sim::Fault& ClientTest::fail_mailbox(uint8_t subsystem, uint8_t opcode, uint8_t status) {
  sim::Fault f;
  f.kind = sim::FaultKind::FirmwareStatus;
  f.subsystem = subsystem;
  f.opcode = opcode;
  f.status = status;
  return sim_->inject(f);
}

std::vector<std::pair<int, int>> ClientTest::mailbox_writes() {
  std::vector<std::pair<int, int>> writes;
  for (const sim::LogEntry& e : sim_->mailbox_log()) {
    MailboxRequestHeader h;
    if (!client_request(e, &h, nullptr)) continue;
    bool known = false, read = true;
    for (const command::CommandRow& r : command::kCommands) {
      if (r.subsystem != h.subsystem || r.opcode != h.opcode || r.version != h.version) continue;
      known = true;
      read = read && r.direction == command::Direction::Read;
    }
    if (!known || !read) writes.emplace_back(h.subsystem, h.opcode);
  }
  return writes;
}

std::vector<std::vector<uint8_t>> ClientTest::payloads(uint8_t subsystem, uint8_t opcode) {
  std::vector<std::vector<uint8_t>> all;
  std::vector<uint8_t> payload;
  for (const sim::LogEntry& e : sim_->mailbox_log()) {
    MailboxRequestHeader h;
    if (client_request(e, &h, &payload) && h.subsystem == subsystem && h.opcode == opcode) all.push_back(payload);
  }
  return all;
}

std::vector<uint8_t> ClientTest::last_payload(uint8_t subsystem, uint8_t opcode, MailboxRequestHeader* header) {
  std::vector<uint8_t> payload, found;
  for (const sim::LogEntry& e : sim_->mailbox_log()) {
    MailboxRequestHeader h;
    if (!client_request(e, &h, &payload) || h.subsystem != subsystem || h.opcode != opcode) continue;
    found = payload;
    if (header != nullptr) *header = h;
  }
  return found;
}

}  // namespace tavo::test
