// ISID qualifiers: unique across every Session of the tree. The tree is
// the only record of them, so each question walks it once and collects
// what is held.
#include <ctype.h>
#include <stdlib.h>
#include <strings.h>

#include <bitset>

#include "base/library_lock.h"
#include "iscsi/sessions/sessions_internal.h"

using namespace tavo::sessions;

namespace {

constexpr uint32_t kNoneFree = 0xFFFF;

// The stored ISIDQualifier text of a Session (never its handler: the walk
// reads the tree only); null when the Session has none. Found among its
// dozen children rather than through the tree's name index, which formats
// every name it compares.
const char* isid_text(TavoNode* session) {
  for (TavoNode* c = tavo::tree::group_record(session)->first_child; c != session; c = c->next)
    if (c->kind == TAVO_KIND_PROPERTY && (c->name[0] | 0x20) == 'i' && strcasecmp(c->name, "ISIDQualifier") == 0)
      return tavo::tree::property_record(c)->value;
  return nullptr;
}

// A stored qualifier: its hexadecimal digits read at once, anything else
// as parse_qualifier reads it.
uint16_t isid_value(const char* text) {
  uint32_t v = 0;
  int digits = 0;
  for (; digits < 8 && isxdigit(static_cast<unsigned char>(text[digits])); ++digits) {
    const char c = text[digits];
    v = v << 4 | static_cast<uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
  }
  return digits > 0 && text[digits] == '\0' ? static_cast<uint16_t>(v) : parse_qualifier(text);
}

// The qualifiers the Sessions hold; false when a Session shows none, which
// makes every qualifier count as held.
bool isid_held(std::bitset<65536>* held) {
  for (TavoNode* c = get_first_instance(get_node(0), "Corvane"); c != nullptr; c = next_instance(c))
    for (TavoNode* f = get_first_instance(c, "iSCSIPhysicalHBA"); f != nullptr; f = next_instance(f))
      for (TavoNode* l = get_first_instance(f, "LogicalHBA"); l != nullptr; l = next_instance(l))
        for (TavoNode* t = get_first_instance(l, "Target"); t != nullptr; t = next_instance(t))
          for (TavoNode* s = get_first_instance(t, "Session"); s != nullptr; s = next_instance(s)) {
            const char* text = isid_text(s);
            if (text == nullptr) return false;
            held->set(isid_value(text));
          }
  return true;
}

// A given qualifier text: any base, cut to 16 bits; nothing may follow it.
bool isid_parse(const char* text, uint32_t* qualifier) {
  char* end = nullptr;
  const unsigned long v = strtoul(text, &end, 0);
  if (end == text || *end != '\0') {
    sessions_status(8);
    return false;
  }
  *qualifier = static_cast<uint32_t>(v & 0xFFFF);
  return true;
}

// The first closed or failed Session of the target to the portal (with
// the given qualifier when one is given); null for none.
TavoNode* isid_reusable(TavoNode* target, const char* address, const char* port, const uint32_t* qualifier) {
  for (TavoNode* s = get_first_instance(target, "Session"); s != nullptr; s = next_instance(s)) {
    char status[TAVO_VALUE_SIZE], text[TAVO_VALUE_SIZE];
    if (!read_text(s, "SessionStatus", status) || !reusable_status(status) || !goes_to(s, address, port)) continue;
    if (qualifier == nullptr) return s;
    if (read_text(s, "ISIDQualifier", text) && parse_qualifier(text) == *qualifier) return s;
  }
  return nullptr;
}

}  // namespace

namespace tavo::sessions {

uint32_t lowest_free_qualifier(const std::bitset<65536>& also_taken) {
  std::bitset<65536> held;
  if (!isid_held(&held)) return kNoneFree;
  held |= also_taken;
  for (uint32_t q = 0; q < kNoneFree; ++q)
    if (!held.test(q)) return q;
  return kNoneFree;
}

}  // namespace tavo::sessions

uint32_t check_for_isid_existence(uint32_t qualifier) {
  TAVO_LIBRARY_LOCK;
  std::bitset<65536> held;
  return !isid_held(&held) || held.test(qualifier & 0xFFFF) ? 1 : 0;
}

uint32_t generate_isid_qualifier(void) {
  TAVO_LIBRARY_LOCK;
  return lowest_free_qualifier({});
}

uint32_t TAVO_get_isid(TavoNode* target, const char* qualifier_text, const char* target_name,
                       const char* initiator_name, const char* address, const char* port, uint32_t* reused,
                       uint32_t* qualifier, TavoNode** reused_session) {
  TAVO_LIBRARY_LOCK;
  if (target == nullptr || target_name == nullptr || initiator_name == nullptr || address == nullptr ||
      port == nullptr || reused == nullptr || qualifier == nullptr || reused_session == nullptr)
    return 1;
  if (qualifier_text == nullptr || qualifier_text[0] == '\0') {
    if (TavoNode* s = isid_reusable(target, address, port, nullptr)) {
      char text[TAVO_VALUE_SIZE];
      if (!read_text(s, "ISIDQualifier", text)) return 1;
      *qualifier = parse_qualifier(text);
      *reused = 1;
      *reused_session = s;
      return 0;
    }
    *qualifier = generate_isid_qualifier();
    pdebug(TAVO_LOG_BACKEND, 6, "%s: ISID qualifier %u generated\n", __func__, *qualifier);
    return 0;
  }
  // A given qualifier holds on a target's first login too, so a session
  // restored from its saved line keeps its qualifier.
  uint32_t given = 0;
  if (!isid_parse(qualifier_text, &given)) return 1;
  if (TavoNode* s = isid_reusable(target, address, port, &given)) {
    *qualifier = given;
    *reused = 1;
    *reused_session = s;
    return 0;
  }
  if (check_for_isid_existence(given) != 0) {
    sessions_status(71);
    return 1;
  }
  *qualifier = given;
  return 0;
}
