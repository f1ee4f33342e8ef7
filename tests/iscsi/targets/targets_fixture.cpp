#include "tests/iscsi/targets/targets_fixture.h"

#include "tree/persist.h"
#include "tree/waiting.h"

#include "iscsi/targets/targets_internal.h"

#include <ctype.h>
#include <stdio.h>
#include <unistd.h>

#include <optional>
#include <sstream>

namespace tavo::test {

void TargetsTest::put_saved(const std::string& name, const std::string& text) {
  write_file(saved_path(name) + ".new", text);
  ASSERT_EQ(::rename((saved_path(name) + ".new").c_str(), saved_path(name).c_str()), 0);
}

TavoNode* TargetsTest::add_target(const std::string& name, const std::string& address, const std::string& port,
                                  uint32_t* result) {
  TavoNode* lhba = node(kLhba);
  TavoNode* target = initialize_Target(lhba, nullptr, nullptr, nullptr);
  if (target == nullptr) return nullptr;
  set_prop_val(target, "TargetISCSIName", "%s", name.c_str());
  const uint32_t r = TAVO_add_target_into_file(lhba, target, name.c_str(), address.c_str(), port.c_str(), nullptr,
                                               "True");
  if (result != nullptr) *result = r;
  return target;
}

TavoNode* TargetsTest::add_portal(const std::string& address, const std::string& port, const std::string& options) {
  TavoNode* discovery = node(std::string(kLhba) + "/Discovery");
  TavoNode* portal = initialize_SendTargetPortal(discovery, discovery, internal_get_node(discovery, "AddSendTargetPortal",
                                                 TAVO_KIND_ACTION), nullptr);
  if (portal == nullptr) return nullptr;
  set_prop_val(portal, "IPAddress", "%s", address.c_str());
  set_prop_val(portal, "PortNumber", "%s", port.c_str());
  const std::string line = std::string(kKey) + "," + address + "," + port + ",00:0e:1e:30:00:02," + options + "\n";
  put_saved("savestp.txt", (file_exists(saved_path("savestp.txt")) ? saved("savestp.txt") : "") + line);
  return portal;
}

std::vector<std::string> TargetsTest::order(const std::string& path) {
  std::vector<std::string> names;
  TavoNode* group = node(path);
  for (TavoNode* c = tree::group_record(group)->first_child; c != group; c = c->next) {
    char name[TAVO_NAME_SIZE];
    tree::display_name(c, name);
    names.emplace_back(name);
  }
  return names;
}

std::vector<size_t> TargetsTest::count(const std::string& path) {
  std::vector<size_t> n = {1, children(path, TAVO_KIND_PROPERTY).size(), children(path, TAVO_KIND_ACTION).size()};
  for (const std::string& g : children(path, TAVO_KIND_GROUP)) {
    const std::vector<size_t> below = count(path + "/" + g);
    for (size_t i = 0; i < 3; ++i) n[i] += below[i];
  }
  return n;
}

std::pair<uint32_t, std::string> targets_text(uint32_t code) {
  const char* text = base::status_text(code);
  return {code, text != nullptr ? text : "<no text>"};
}

std::vector<std::string> NetworkTargetsTest::target_lines(const std::string& key) {
  std::vector<std::string> lines;
  std::istringstream in(file_exists(saved_path("savetgt.txt")) ? saved("savetgt.txt") : "");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ",", 0) == 0) lines.push_back(line);
  return lines;
}

namespace {
bool fixture_has_qualifier(const std::string& line) {
  size_t at = 0;
  for (int commas = 0; commas < 6 && at != std::string::npos; ++commas) at = line.find(',', at + 1);
  return at != std::string::npos && at + 1 < line.size() && line[at + 1] != ',';
}
}  // namespace

std::vector<std::string> NetworkTargetsTest::portal_lines(const std::string& key) {
  std::vector<std::string> lines = target_lines(key);
  std::erase_if(lines, fixture_has_qualifier);
  return lines;
}

std::vector<std::string> NetworkTargetsTest::session_lines(const std::string& key) {
  std::vector<std::string> lines = target_lines(key);
  std::erase_if(lines, [](const std::string& l) { return !fixture_has_qualifier(l); });
  return lines;
}

std::vector<std::string> NetworkTargetsTest::instances(const std::string& path, const std::string& type) {
  std::vector<std::string> names;
  for (const std::string& g : children(path, TAVO_KIND_GROUP))
    if (g.rfind(type, 0) == 0 && g.size() > type.size() && isdigit(static_cast<unsigned char>(g[type.size()])))
      names.push_back(g);
  return names;
}

std::vector<std::string> NetworkTargetsTest::persistent_paths() {
  std::vector<uint32_t> tags(4096);
  int32_t count = static_cast<int32_t>(tags.size());
  EXPECT_EQ(TAVO_get_persistent_nodes(tags.data(), &count), 0u);
  std::vector<std::string> paths;
  for (int32_t i = 0; i < count; ++i) {
    char path[TAVO_PATH_SIZE];
    get_full_path(get_node(tags[i]), path);
    paths.emplace_back(path + std::string("ROOT/").size());
  }
  return paths;
}

namespace {

constexpr const char* kSavedNames[] = {"savetgt.txt", "savestp.txt", "intr_logopts.txt"};

// The groups below group with every property as a client reads it; the
// statistics count what happened (a login taken back counts too), not
// what stands.
void fixture_dump(TavoNode* group, const std::string& indent, std::string* out) {
  for (TavoNode* c = tree::first_child(group); c != group; c = c->next) {
    char name[TAVO_NAME_SIZE];
    tree::display_name(c, name);
    if (std::string_view(name).ends_with("Statistics")) continue;
    *out += indent + name;
    if (c->kind == TAVO_KIND_PROPERTY) {
      char value[TAVO_VALUE_SIZE] = "";
      *out += TAVO_get_property_val(group->tag, c->tag, value, sizeof value) == 0 ? "=" + std::string(value)
                                                                                  : " <unreadable>";
    }
    *out += "\n";
    if (c->kind == TAVO_KIND_GROUP) fixture_dump(c, indent + " ", out);
  }
}

}  // namespace

std::string NetworkTargetsTest::everything(const std::string& path) {
  std::string out;
  for (const char* name : kSavedNames)
    out += std::string("[") + name + "]\n" + (file_exists(saved_path(name)) ? saved(name) : "<none>\n");
  out += "[tree]\n";
  fixture_dump(node(path), "", &out);
  out += "[firmware]\n";
  for (int device = 0; device < 3; ++device) {
    const sim::SimIscsi* iscsi = sim_->sessions(device);
    if (iscsi == nullptr) continue;
    for (const sim::SimSession& s : iscsi->sessions) {
      std::ostringstream line;
      line << device << " " << s.target << " " << s.initiator << " " << int(s.address.type) << ":";
      for (uint8_t b : s.address.bytes) line << int(b) << ".";
      line << " " << s.port << " isid " << s.isid << (s.persistent ? " persistent" : "") << (s.open ? " open" : "")
           << (s.boot ? " boot" : "") << (s.discovery ? " discovery" : "") << " eto " << s.eto << " options ";
      line << std::hash<std::string_view>()(
          std::string_view(reinterpret_cast<const char*>(&s.options), sizeof s.options));
      out += line.str() + "\n";
    }
  }
  return out;
}

std::function<void()> NetworkTargetsTest::saved_files_restorer() {
  std::vector<std::pair<std::string, std::optional<std::string>>> files;
  for (const char* name : kSavedNames)
    files.emplace_back(name, file_exists(saved_path(name)) ? std::optional<std::string>(saved(name)) : std::nullopt);
  return [this, files] {
    for (const auto& [name, text] : files) {
      if (text)
        put_saved(name, *text);
      else
        ::unlink(saved_path(name).c_str());
    }
  };
}

std::function<void()> NetworkTargetsTest::root_restorer() {
  return [this, files = saved_files_restorer()] {
    files();
    sim_->rewind_adapters();
  };
}

}  // namespace tavo::test
