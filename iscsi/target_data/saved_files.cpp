// The saved target and initiator lines: readers for clients, the target and
// session lines, the duplicate check, removal, and the initiator's line at
// start-up.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "base/library_lock.h"
#include "iscsi/network/network.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/target_data/node_index.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/target_records.h"

using namespace tavo::target_data;
using tavo::tree::next_instance;

namespace {

// The LogicalHBA's initiator name and the target's name and type, as the
// target and session lines carry them.
struct TargetTexts {
  char initiator[TAVO_VALUE_SIZE] = "";
  char name[TAVO_VALUE_SIZE] = "";
  char type[TAVO_VALUE_SIZE] = "";
};

bool files_initiator_name(TavoNode* lhba, char* out) {
  tavo::network::InitiatorNames names;
  if (tavo::network::initiator_names(lhba, tavo::network::NameRead::Name, &names) != 0) return false;
  memcpy(out, names.name, sizeof names.name);
  return true;
}

// The send-target portal whose login options a discovered target takes:
// the given one, else the first with the target's address. false when
// there is no Discovery group or portal, or an address cannot be read.
bool files_source_portal(TavoNode* lhba, const char* address, TavoNode** portal) {
  if (*portal != nullptr) return true;
  TavoNode* first = get_first_instance(internal_get_node(lhba, "Discovery", TAVO_KIND_GROUP), "SendTargetPortal");
  if (first == nullptr) return false;
  for (TavoNode* p = first; p != nullptr; p = next_instance(p)) {
    char text[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(p, "IPAddress", text) != 0) return false;
    if (strcasecmp(text, address) == 0) {
      *portal = p;
      return true;
    }
  }
  return true;
}

std::string files_qualifier(uint32_t isid_qualifier) { return std::to_string(isid_qualifier); }

// The lines of an entry: its file and the fields that name it (kinds as
// TAVO_remove_entry_from_file takes them); false for a kind or a value
// missing.
bool files_entry(uint32_t kind, const LhbaKey& key, const char* name, const char* address, const char* port,
                 uint32_t isid_qualifier, Saved* file, std::vector<Match>* match) {
  *file = kind == TAVO_ENTRY_SEND_TARGET ? Saved::Portals : Saved::Targets;
  switch (kind) {
    case TAVO_ENTRY_TARGET:
      if (name == nullptr || address == nullptr || port == nullptr) return false;
      *match = key_matches(key, {{Field::TargetName, name}, {Field::Address, address}, {Field::Port, port}});
      if (isid_qualifier != TAVO_ANY_ISID_QUALIFIER)
        match->push_back({Field::Qualifier, files_qualifier(isid_qualifier)});
      return true;
    case TAVO_ENTRY_SEND_TARGET:
      if (address == nullptr || port == nullptr) return false;
      *match = key_matches(key, {{Field::Address, address}, {Field::Port, port}});
      return true;
    case TAVO_ENTRY_LOGICAL_HBA:
      *match = key_matches(key);
      return true;
    default:
      return false;
  }
}

// Appends the line of a target's portal (qualifier empty) or of a session
// unless the entry's line is there.
uint32_t files_append_target_line(const LhbaKey& key, const TargetTexts& t, const char* address, const char* port,
                                  const std::string& qualifier, const LoginOptionSet& options,
                                  const char* persistence) {
  std::string line;
  if (!RecordValues(Saved::Targets)
           .set_key(key)
           .set(Field::TargetName, t.name)
           .set(Field::Address, address)
           .set(Field::Port, port)
           .set(Field::Qualifier, qualifier)
           .set(Field::InitiatorName, t.initiator)
           .set_options(options)
           .set(Field::TargetType, t.type)
           .set(Field::Persistence, persistence ? persistence : "")
           .format(&line))
    return 1;
  std::vector<Match> match =
      key_matches(key, {{Field::TargetName, t.name}, {Field::Address, address}, {Field::Port, port}});
  if (!qualifier.empty()) match.push_back({Field::Qualifier, qualifier});
  return append_line(Saved::Targets, line, [&](const SavedView& view) { return view.find(match) != nullptr; });
}

}  // namespace

char* TAVO_get_file_data(FILE* stream, uint32_t* size, uint32_t* line_count) {
  if (stream == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Invalid file pointer.\n", __func__);
    return nullptr;
  }
  rewind(stream);
  std::string text;
  char chunk[16384];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, stream)) > 0;) text.append(chunk, n);
  if (text.empty()) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:File Size is Zero.\n", __func__);
    return nullptr;
  }
  auto* data = static_cast<char*>(tavo_dmalloc(text.size() + 1));
  if (data == nullptr) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed allocate memory.\n", __func__);
    return nullptr;
  }
  memcpy(data, text.data(), text.size());
  data[text.size()] = '\0';
  uint32_t lines = 0;
  for (char c : text) lines += c == '\n';
  if (text.back() != '\n') ++lines;
  if (size != nullptr) *size = static_cast<uint32_t>(text.size());
  if (line_count != nullptr) *line_count = lines;
  return data;
}

uint32_t TAVO_get_iscsi_data_from_file(const char* line, char (*keys)[TAVO_VALUE_SIZE],
                                       char (*fields)[TAVO_VALUE_SIZE], uint32_t field_count, uint32_t key_count) {
  if (line == nullptr || fields == nullptr || (keys == nullptr && key_count > 0)) return 1;
  const std::vector<std::string_view> found = split_fields(line);
  const auto take = [&](uint32_t i) {
    snprintf(fields[i], TAVO_VALUE_SIZE, "%.*s", static_cast<int>(found[i].size()), found[i].data());
  };
  for (uint32_t i = 0; i < key_count; ++i) {
    if (i >= found.size()) return 1;
    take(i);
    if (strcasecmp(fields[i], keys[i]) != 0) return 1;
  }
  for (uint32_t i = key_count; i < field_count && i < found.size(); ++i) take(i);
  return 0;
}

bool tavo::target_data::target_lines_present(TavoNode* lhba, const std::vector<TargetPortalNames>& portals) {
  LhbaKey key;
  if (!lhba_key(lhba, &key)) return false;
  bool present = true;
  // One set of matches, its texts replaced portal by portal.
  std::vector<Match> match = key_matches(key, {{Field::TargetName, {}}, {Field::Address, {}}, {Field::Port, {}}});
  const bool read = with_view(Saved::Targets, [&](const SavedView& view) {
    for (const TargetPortalNames& p : portals) {
      match[3].value.assign(p.name);
      match[4].value.assign(p.address);
      match[5].value.assign(p.port);
      if (view.find(match) == nullptr) {
        present = false;
        return;
      }
    }
  });
  return read && present;
}

uint32_t TAVO_add_target_into_file(TavoNode* lhba, TavoNode* target, const char* name, const char* address,
                                   const char* port, TavoNode* portal, const char* persistence) {
  TAVO_LIBRARY_LOCK;
  return add_target_line(lhba, target, name, address, port, portal, persistence, nullptr);
}

uint32_t tavo::target_data::add_target_line(TavoNode* lhba, TavoNode* target, const char* name, const char* address,
                                            const char* port, TavoNode* portal, const char* persistence,
                                            const char* initiator) {
  LhbaKey key;
  Saved file;
  std::vector<Match> present;
  if (target == nullptr || !lhba_key(lhba, &key) ||
      !files_entry(TAVO_ENTRY_TARGET, key, name, address, port, TAVO_ANY_ISID_QUALIFIER, &file, &present))
    return 1;
  bool duplicate = false, own = false;
  LoginOptionSet options;
  with_view(file, [&](const SavedView& view) {
    duplicate = view.find(present) != nullptr;
    if (duplicate) return;
    // A target that has a line already keeps its own options on a new portal.
    const std::vector<Match> own_line = key_matches(key, {{Field::TargetName, name}, {Field::Qualifier, ""}});
    if (const SavedView::Line* line = view.find(own_line)) {
      const auto values = line_options(file, line->fields());
      for (int i = 0; i < kOptionCount; ++i) options[i].assign(values[i]);
      own = true;
    }
  });
  if (duplicate) return 0;
  TargetTexts t;
  if (snprintf(t.name, sizeof t.name, "%s", name) >= static_cast<int>(sizeof t.name)) return 1;
  if (initiator != nullptr)
    snprintf(t.initiator, sizeof t.initiator, "%s", initiator);
  else if (!files_initiator_name(lhba, t.initiator))
    return 1;
  if (!target_type(target, t.type)) return 1;
  TavoNode* source = internal_get_node(lhba, "InitiatorLoginOptions", TAVO_KIND_GROUP);
  if (!own && strcasecmp(t.type, "Discovered") == 0) {
    if (!files_source_portal(lhba, address, &portal)) return 1;
    if (portal != nullptr) source = internal_get_node(portal, "SendTargetPortalLoginOptions", TAVO_KIND_GROUP);
  }
  TavoNode* target_options = internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP);
  TavoNode* target_auth = internal_get_node(target_options, "Authentication", TAVO_KIND_GROUP);
  if ((!own && !login_option_set(source, &options)) || target_auth == nullptr ||
      files_append_target_line(key, t, address, port, "", options, persistence) != 0)
    return 1;
  const std::vector<std::string_view> stored(options.begin(), options.end());
  store_options(target_options, target_auth, stored);
  return 0;
}

uint32_t tavo::target_data::append_session_line(TavoNode* lhba, TavoNode* target, const char* address,
                                                const char* port, uint32_t isid_qualifier, const char* persistence,
                                                const LoginOptionSet* set) {
  LhbaKey key;
  TargetTexts t;
  LoginOptionSet read;
  const char* name = target != nullptr ? target_stored_name(target) : nullptr;
  if (address == nullptr || port == nullptr || name == nullptr || !lhba_key(lhba, &key) ||
      !files_initiator_name(lhba, t.initiator) || !target_type(target, t.type))
    return 1;
  snprintf(t.name, sizeof t.name, "%s", name);
  if (set == nullptr) {
    if (!login_option_set(internal_get_node(target, "TargetLoginOptions", TAVO_KIND_GROUP), &read)) return 1;
    set = &read;
  }
  return files_append_target_line(key, t, address, port, files_qualifier(isid_qualifier), *set, persistence);
}

uint32_t TAVO_update_tgt_entry(TavoNode* lhba, TavoNode* target, const char* address, const char* port,
                               uint32_t isid_qualifier, const char* persistence) {
  TAVO_LIBRARY_LOCK;
  return append_session_line(lhba, target, address, port, isid_qualifier, persistence, nullptr);
}

uint32_t TAVO_check_for_duplicate_tgt(TavoNode* controller, TavoNode* function, TavoNode* lhba, const char* name,
                                      const char* address, const char* port, uint32_t kind, uint32_t isid_qualifier) {
  TAVO_LIBRARY_LOCK;
  const int32_t numbers[3] = {tavo::tree::instance_number(controller), tavo::tree::instance_number(function),
                              tavo::tree::instance_number(lhba)};
  if (numbers[0] < 0 || numbers[1] < 0 || numbers[2] < 0 || kind == TAVO_ENTRY_LOGICAL_HBA) return 0;
  LhbaKey key;
  key.text = {"Corvane" + std::to_string(numbers[0]), "iSCSIPhysicalHBA" + std::to_string(numbers[1]),
              "LogicalHBA" + std::to_string(numbers[2])};
  Saved file;
  std::vector<Match> match;
  if (!files_entry(kind, key, name, address, port, isid_qualifier, &file, &match)) return 0;
  bool found = false;
  with_view(file, [&](const SavedView& view) { found = view.find(match) != nullptr; });
  return found ? 1 : 0;
}

uint32_t TAVO_remove_entry_from_file(TavoNode* lhba, const char* name, const char* address, const char* port,
                                     uint32_t isid_qualifier, uint32_t kind) {
  TAVO_LIBRARY_LOCK;
  LhbaKey key;
  Saved file;
  std::vector<Match> match;
  if (!lhba_key(lhba, &key) || !files_entry(kind, key, name, address, port, isid_qualifier, &file, &match)) return 1;
  return drop_lines(file, match);
}

uint32_t tavo::target_data::remove_target_lines(TavoNode* lhba, const char* name,
                                            const std::vector<std::pair<std::string, std::string>>& portals) {
  LhbaKey key;
  if (!lhba_key(lhba, &key) || name == nullptr) return 1;
  std::vector<std::vector<Match>> entries;
  for (const auto& [address, port] : portals)
    entries.push_back(key_matches(key, {{Field::TargetName, name}, {Field::Address, address}, {Field::Port, port}}));
  if (entries.empty()) return 0;
  const std::vector<Match> target = key_matches(key, {{Field::TargetName, name}});
  return rewrite(Saved::Targets, target, [&](std::span<const std::string_view> fields, std::string*) {
    for (const std::vector<Match>& entry : entries)
      if (!fields.empty() && matches(Saved::Targets, fields, entry)) return LineEdit::Drop;
    return LineEdit::Keep;
  });
}

uint32_t TAVO_set_ini_loginopts_prop(TavoNode* lhba, char (*keys)[TAVO_VALUE_SIZE]) {
  TAVO_LIBRARY_LOCK;
  TavoNode* options = internal_get_node(lhba, "InitiatorLoginOptions", TAVO_KIND_GROUP);
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  if (authentication == nullptr || keys == nullptr) return 1;
  const LhbaKey key = {{keys[0], keys[1], keys[2]}};
  const std::vector<Match> match = key_matches(key);
  bool loaded = false;
  with_view(Saved::Initiator, [&](const SavedView& view) {
    if (const SavedView::Line* line = view.find(match, true)) {
      store_options(options, authentication, line_options(Saved::Initiator, line->fields()));
      loaded = true;
    }
  });
  if (loaded) return 0;
  // A new LogicalHBA starts from the defaults, saved at once.
  std::string line;
  if (RecordValues(Saved::Initiator).set_key(key).set_options(default_options()).format(&line))
    append_line(Saved::Initiator, line, [&](const SavedView& view) { return view.find(match) != nullptr; });
  const std::vector<std::string_view> defaults(default_options().begin(), default_options().end());
  store_options(options, authentication, defaults);
  return 0;
}
