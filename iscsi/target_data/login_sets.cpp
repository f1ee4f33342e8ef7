// The login option sets of initiator, send-target portals and targets: the
// saved line is the master copy, the tree's texts its cache.
#include "iscsi/target_data/login_sets.h"

#include <string.h>
#include <strings.h>

#include <algorithm>
#include <bitset>
#include <functional>
#include <vector>

#include "base/library_lock.h"
#include "iscsi/target_data/target_records.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/common/saved_view.h"

namespace tavo::target_data {
namespace {

constexpr Saved copy_file(Copy c) {
  return c == Copy::Initiator ? Saved::Initiator : c == Copy::Portal ? Saved::Portals : Saved::Targets;
}

}  // namespace

bool set_nodes(TavoNode* property, bool in_authentication, SetNodes* out) {
  if (property == nullptr || property->parent == nullptr) return false;
  TavoNode* group = property->parent;
  out->authentication = in_authentication ? group : internal_get_node(group, "Authentication", TAVO_KIND_GROUP);
  out->options = in_authentication ? group->parent : group;
  out->owner = out->options != nullptr ? out->options->parent : nullptr;
  return out->authentication != nullptr && out->options != nullptr && out->owner != nullptr;
}

namespace {

// The lines that hold the owner's set: the key, and the portal's address
// and port or the target's name on its own lines (not its sessions').
// false when the owner's values cannot be read.
bool set_matches(Copy c, TavoNode* owner, std::vector<Match>* m, std::array<char[TAVO_VALUE_SIZE], 2>* texts) {
  LhbaKey key;
  if (owner == nullptr || !lhba_key(owner, &key)) return false;
  switch (c) {
    case Copy::Portal:
      if (internal_get_property(owner, "IPAddress", (*texts)[0]) != 0 ||
          internal_get_property(owner, "PortNumber", (*texts)[1]) != 0)
        return false;
      *m = key_matches(key, {{Field::Address, (*texts)[0]}, {Field::Port, (*texts)[1]}});
      return true;
    case Copy::Target:
      if (internal_get_property(owner, "TargetISCSIName", (*texts)[0]) != 0) return false;
      *m = key_matches(key, {{Field::TargetName, (*texts)[0]}, {Field::Qualifier, ""}});
      return true;
    default:
      *m = key_matches(key);
      return true;
  }
}

}  // namespace

namespace {

// Finds the owner's line (the initiator's last, the others' first) and
// hands its option fields to found. No file: 1 (a target 0); no line: 0.
uint32_t with_set_line(Copy c, TavoNode* owner,
                       const std::function<void(std::span<const std::string_view> options)>& found) {
  std::vector<Match> m;
  std::array<char[TAVO_VALUE_SIZE], 2> texts{};
  if (!set_matches(c, owner, &m, &texts)) return 1;
  const Saved file = copy_file(c);
  bool exists = false;
  const bool read = with_view(file, [&](const SavedView& view) {
    exists = view.exists();
    if (const SavedView::Line* line = view.find(m, c == Copy::Initiator)) found(line_options(file, line->fields()));
  });
  return read && exists ? 0 : c == Copy::Target ? 0 : 1;
}

}  // namespace

uint32_t set_reload(Copy c, TavoNode* owner, TavoNode* options, TavoNode* authentication) {
  if (owner == nullptr || options == nullptr || authentication == nullptr) return c == Copy::Target ? 0 : 1;
  return with_set_line(c, owner, [&](std::span<const std::string_view> values) {
    store_options(options, authentication, values);
  });
}

namespace {

// Writes options into every line of the owner's set in one rewrite; a
// target's lines are marked persistent. A value that cannot be saved (a
// comma, a line break, a line grown too long) changes no line.
uint32_t set_rewrite(Copy c, TavoNode* owner, std::span<const OptionChange> changes) {
  if (owner == nullptr) return 1;
  for (const OptionChange& change : changes) {
    if (change.value == nullptr) return 1;
    if (!field_text_ok(change.value)) {
      tree::validation_status(TAVO_INVALID_VALUE, change.option ? change.option : "", 0, 0);
      return 1;
    }
  }
  std::vector<Match> m;
  std::array<char[TAVO_VALUE_SIZE], 2> texts{};
  if (!set_matches(c, owner, &m, &texts)) return 1;
  const Saved file = copy_file(c);
  return rewrite(file, m, [&](std::span<const std::string_view> fields, std::string* rebuilt) {
    if (fields.empty() || !matches(file, fields, m)) return LineEdit::Keep;
    RecordValues values(file, fields);
    for (const OptionChange& change : changes) {
      const int changed = option_index(change.option);
      if (changed >= 0) values.set(option_field(changed), change.value);
    }
    if (c == Copy::Target) values.set(Field::Persistence, "True");
    return values.format(rebuilt) ? LineEdit::Replace : LineEdit::Refuse;
  });
}

}  // namespace

uint32_t set_rewrite(Copy c, TavoNode* owner, const char* option, const char* value) {
  const OptionChange change{option, value};
  return set_rewrite(c, owner, std::span<const OptionChange>(&change, 1));
}

namespace {

// Writing one option of a pair refused while the other holds the value
// that forbids it (without case).
struct DigestRule {
  const char* written;
  const char* value;
  const char* other;
  const char* other_value;
  uint32_t status;
};
constexpr DigestRule kDigestRules[] = {
    {"HeaderParam", "Preferred", "HeaderDigest", "None", 193},
    {"DataParam", "Preferred", "DataDigest", "None", 193},
    {"HeaderDigest", "None", "HeaderParam", "Preferred", 194},
    {"DataDigest", "None", "DataParam", "Preferred", 194},
};

}  // namespace

bool digest_rules_allow(Copy c, const SetNodes& n, const char* property, const char* value) {
  LoginOptionSet set;
  bool read = false;
  for (const DigestRule& r : kDigestRules) {
    if (strcasecmp(property, r.written) != 0 || strcasecmp(value, r.value) != 0) continue;
    if (!read && login_option_set(c, n, &set) != 0) return false;
    read = true;
    if (strcasecmp(set[static_cast<size_t>(option_index(r.other))].c_str(), r.other_value) == 0) {
      base::set_status(r.status);
      return false;
    }
  }
  return true;
}

namespace {

// The handler of an Authentication option that only reloads and answers.
uint32_t authentication_option(Copy c, TavoNode* property, char* buf) {
  SetNodes n;
  LoginOptionSet set;
  if (buf == nullptr || !set_nodes(property, true, &n) || login_option_set(c, n, &set) != 0) return 1;
  store_option_set(n, set);
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

Copy options_copy(TavoNode* options) {
  if (options != nullptr && options->name != nullptr && strcmp(options->name, "SendTargetPortalLoginOptions") == 0)
    return Copy::Portal;
  if (options != nullptr && options->name != nullptr && strcmp(options->name, "TargetLoginOptions") == 0)
    return Copy::Target;
  return Copy::Initiator;
}

}  // namespace

uint32_t write_options(TavoNode* options, std::span<const OptionChange> changes) {
  TAVO_LIBRARY_LOCK;
  if (options == nullptr) return 1;
  return set_rewrite(options_copy(options), options->parent, changes);
}

const LoginOptionSet& default_options() {
  static const LoginOptionSet defaults = {"Yes", "Yes", "None", "None", "None", "", "", "", "",
                                        "Prohibited", "Prohibited", "Prohibited"};
  return defaults;
}

// The three sets whose saved line is their master copy.
bool known_set(const TavoNode* options) {
  return options->name != nullptr && options->parent != nullptr &&
         (strcmp(options->name, "InitiatorLoginOptions") == 0 ||
          strcmp(options->name, "SendTargetPortalLoginOptions") == 0 ||
          strcmp(options->name, "TargetLoginOptions") == 0);
}

namespace {

// An option's text as its group keeps it: an empty level reads
// "Prohibited", and a value is cut to what a property holds.
std::string_view stored_text(int i, std::string_view value) {
  const Field f = option_field(i);
  const bool level = f == Field::CHAPParam || f == Field::HeaderParam || f == Field::DataParam;
  if (value.empty() && level) return "Prohibited";
  return value.substr(0, TAVO_VALUE_SIZE - 1);
}

// The groups' own texts of a known set; false when one is missing.
bool kept_options(TavoNode* options, TavoNode* authentication, LoginOptionSet* out) {
  for (int i = 0; i < kOptionCount; ++i) {
    TavoNode* property =
        internal_get_node(option_in_authentication(i) ? authentication : options, option_name(i), TAVO_KIND_PROPERTY);
    if (property == nullptr) return false;
    (*out)[i] = tavo::tree::property_record(property)->value;
  }
  return true;
}

}  // namespace

uint32_t login_option_set(Copy c, const SetNodes& n, LoginOptionSet* out) {
  bool found = false;
  if (with_set_line(c, n.owner, [&](std::span<const std::string_view> values) {
        for (int i = 0; i < kOptionCount; ++i) (*out)[i].assign(stored_text(i, values[i]));
        found = true;
      }) != 0)
    return 1;
  return found || kept_options(n.options, n.authentication, out) ? 0 : 1;
}

bool login_option_set(TavoNode* options, LoginOptionSet* out) {
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  if (options == nullptr || authentication == nullptr) return false;
  if (known_set(options))
    return login_option_set(options_copy(options), SetNodes{options->parent, options, authentication}, out) == 0;
  // Another group's options answer as their handlers do.
  for (int i = 0; i < kOptionCount; ++i) {
    TavoNode* group = option_in_authentication(i) ? authentication : options;
    char value[TAVO_VALUE_SIZE] = "";
    if (internal_get_property(group, option_name(i), value) != 0) return false;
    (*out)[i] = value;
  }
  return true;
}

void store_option_set(const SetNodes& n, const LoginOptionSet& set) {
  const std::vector<std::string_view> values(set.begin(), set.end());
  store_options(n.options, n.authentication, values);
}

bool reload_option_set(TavoNode* options) {
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  if (options == nullptr || authentication == nullptr || !known_set(options)) return false;
  return set_reload(options_copy(options), options->parent, options, authentication) == 0;
}

uint32_t store_set_texts(TavoNode* options, TavoNode* authentication, const LoginOptionSet& texts,
                         std::bitset<kOptionCount> which) {
  // Each group's children walked once for all its values.
  static_assert(kOptionCount <= tree::kMostStored);
  std::array<tree::StoredValue, kOptionCount> in_options, in_authentication;
  size_t to_options = 0, to_authentication = 0;
  for (int i = 0; i < kOptionCount; ++i) {
    if (!which[i]) continue;
    const tree::StoredValue value{option_name(i), texts[i].c_str()};
    if (option_in_authentication(i))
      in_authentication[to_authentication++] = value;
    else
      in_options[to_options++] = value;
  }
  return tree::store_values(options, std::span(in_options.data(), to_options)) |
         tree::store_values(authentication, std::span(in_authentication.data(), to_authentication));
}

bool store_options(TavoNode* options, TavoNode* authentication, std::span<const std::string_view> values) {
  std::array<std::string_view, kOptionCount> stored;
  const size_t count = std::min(values.size(), stored.size());
  for (size_t i = 0; i < count; ++i) stored[i] = stored_text(static_cast<int>(i), values[i]);
  if (store_waiting_set(options, std::span(stored.data(), count))) return true;
  if (authentication == nullptr) authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  if (authentication == nullptr) return false;
  LoginOptionSet texts;
  std::bitset<kOptionCount> which;
  for (size_t i = 0; i < count; ++i) {
    texts[i].assign(stored[i]);
    which.set(i);
  }
  store_set_texts(options, authentication, texts, which);
  return true;
}

std::array<std::string_view, kOptionCount> line_options(Saved s, std::span<const std::string_view> fields) {
  std::array<std::string_view, kOptionCount> out{};
  for (int i = 0; i < kOptionCount; ++i) {
    const int at = position(s, option_field(i));
    if (at >= 0 && static_cast<size_t>(at) < fields.size()) out[i] = fields[at];
  }
  return out;
}

}  // namespace tavo::target_data

using namespace tavo::target_data;

uint32_t TAVO_get_initiator_loginoptions(TavoNode* lhba, TavoNode* options, TavoNode* authentication) {
  TAVO_LIBRARY_LOCK;
  return set_reload(Copy::Initiator, lhba, options, authentication);
}

uint32_t TAVO_get_stploginoptions(TavoNode* portal, TavoNode* options, TavoNode* authentication) {
  TAVO_LIBRARY_LOCK;
  return set_reload(Copy::Portal, portal, options, authentication);
}

uint32_t TAVO_get_target_loginoptions(TavoNode* target, TavoNode* options, TavoNode* authentication) {
  TAVO_LIBRARY_LOCK;
  return set_reload(Copy::Target, target, options, authentication);
}

uint32_t TAVO_set_initiator_loginoptions(TavoNode* lhba, TavoNode*, TavoNode*, const char* option, const char* value) {
  TAVO_LIBRARY_LOCK;
  return set_rewrite(Copy::Initiator, lhba, option, value);
}

uint32_t TAVO_set_stploginoptions(TavoNode* portal, TavoNode*, TavoNode*, const char* option, const char* value) {
  TAVO_LIBRARY_LOCK;
  return set_rewrite(Copy::Portal, portal, option, value);
}

uint32_t TAVO_set_target_loginoptions(TavoNode* target, TavoNode*, TavoNode*, const char* option, const char* value) {
  TAVO_LIBRARY_LOCK;
  return set_rewrite(Copy::Target, target, option, value);
}

uint32_t handle_authentication_initiator_loginoptions(TavoNode* property, char* buf, uint32_t) {
  return authentication_option(Copy::Initiator, property, buf);
}

uint32_t handle_authentication_target_loginopts(TavoNode* property, char* buf, uint32_t) {
  return authentication_option(Copy::Target, property, buf);
}

uint32_t handle_authentication_stploginoptions(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op == TAVO_PROPERTY_GET)
    return authentication_option(Copy::Portal, property, buf);
  if (op == TAVO_PROPERTY_SET) return handle_internal_property(property, buf, op);
  return 0;
}


