// Targets and their portals: lookups and the target type kept in
// savetgt.txt.
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "base/library_lock.h"
#include "iscsi/network/network.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/common/saved_view.h"
#include "iscsi/target_data/target_records.h"
#include "transport/commands.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

using namespace tavo::targets;
using tavo::tree::instance_number;
using tavo::tree::next_instance;

namespace {

// The stored name of a target (its property keeps the stored text); null
// without one. Its place among the first children makes this cheap for
// every target of a LogicalHBA.
const char* setup_stored_name(TavoNode* target) {
  TavoGroupRecord* g = tavo::tree::group_record(target);
  for (TavoNode* c = g->first_child; c != target; c = c->next)
    if (c->kind == TAVO_KIND_PROPERTY && strcmp(c->name, "TargetISCSIName") == 0)
      return tavo::tree::property_record(c)->value;
  return nullptr;
}

}  // namespace

TavoNode* find_target(TavoNode* lhba, const char* name) {
  TAVO_LIBRARY_LOCK;
  if (name == nullptr) return nullptr;
  const size_t length = strlen(name);
  if (length == 0) return nullptr;
  const int last = tolower(static_cast<unsigned char>(name[length - 1]));
  // iSCSI names share long prefixes: the length and the last character
  // tell most of them apart before a whole comparison.
  for (TavoNode* t = get_first_instance(lhba, "Target"); t != nullptr; t = next_instance(t)) {
    const char* text = setup_stored_name(t);
    if (text == nullptr || strnlen(text, length + 1) != length ||
        tolower(static_cast<unsigned char>(text[length - 1])) != last)
      continue;
    if (strcasecmp(text, name) == 0) return t;
  }
  return nullptr;
}

TavoNode* find_target_portal(TavoNode* target, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (!read_text(p, "TargetIPAddress", a) || !read_text(p, "TargetPortNumber", n)) continue;
    const bool address_ok = address == nullptr || address[0] == '\0' || strcmp(a, address) == 0;
    const bool port_ok = port == nullptr || port[0] == '\0' || same_port(n, port);
    if (address_ok && port_ok) return p;
  }
  return nullptr;
}

uint32_t validate_target_portal(TavoNode* target, uint32_t* instance, const char* address, const char* port) {
  TAVO_LIBRARY_LOCK;
  if (instance == nullptr || address == nullptr) return 1;
  for (TavoNode* p = get_first_instance(target, "TargetPortal"); p != nullptr; p = next_instance(p)) {
    char a[TAVO_VALUE_SIZE], n[TAVO_VALUE_SIZE];
    if (!read_text(p, "TargetIPAddress", a) || !read_text(p, "TargetPortNumber", n)) continue;
    if (strcmp(a, address) == 0 && (port == nullptr || port[0] == '\0' || same_port(n, port))) {
      *instance = static_cast<uint32_t>(instance_number(p));
      return 0;
    }
  }
  return 1;
}

uint32_t get_target_type(TavoNode* target) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr) return 1;
  if (OPEN_ISCSI_DRIVER_LOADED) return set_prop_val(target, "TargetType", "%s", "Static");
  char name[TAVO_VALUE_SIZE];
  LhbaKey key;
  if (!read_text(target, "TargetISCSIName", name) || !lhba_key(target, &key)) return 1;
  const std::vector<Match> match = key_matches(key, {{Field::TargetName, name}});
  std::string type;
  bool found = false;
  // A file that cannot be read leaves the type as the tree knows it.
  if (!with_view(Saved::Targets, [&](const SavedView& view) {
        if (const SavedView::Line* line = view.find(match)) {
          type.assign(line->fields[position(Saved::Targets, Field::TargetType)].substr(0, 34));
          found = true;
        }
      }))
    pdebug(TAVO_LOG_BACKEND, 3, "%s: savetgt.txt cannot be read\n", __func__);
  // A line without a type holds a static target, as start-up reads it.
  return found ? set_prop_val(target, "TargetType", "%s", type.empty() ? "Static" : type.c_str()) : 0;
}

uint32_t handle_target_type(TavoNode* property, char* buf, uint32_t op) {
  if (property == nullptr || buf == nullptr) return 1;
  if (op != TAVO_PROPERTY_GET) return 0;
  if (property == nullptr || buf == nullptr || get_target_type(property->parent) != 0)
    return 1;
  return handle_internal_property(property, buf, op);
}
