// Replaying saved records into a freshly built tree.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tree/api_guard.h"
#include "tree/handler_watch.h"
#include "base/debug_log.h"
#include "tree/persist.h"
#include "tree/status_texts.h"
#include "base/validate.h"

using namespace tavo::tree;

namespace {

constexpr uint32_t kRestoreFirstLine = 250;

// A group the path names; a link to one stands for it.
TavoNode* restore_group(const char* path) {
  TavoNode* n = follow_links(internal_get_node_path(path, TAVO_KIND_GROUP));
  return n != nullptr && n->kind == TAVO_KIND_GROUP && n->record != nullptr ? n : nullptr;
}

// Copies a field into a 256-byte value and checks it as the tree checks a
// written value; false (with a debug line) when it fails.
bool restore_value(const char* field, char* value, const char* list, uint8_t type, int32_t minimum,
                   int32_t maximum, const char* what) {
  snprintf(value, TAVO_VALUE_SIZE, "%s", field);
  uint32_t v = tavo_validate(value, list, type, minimum, maximum);
  if (v == 0) return true;
  pdebug(TAVO_LOG_TREE, 3, "%s: %s: value \"%s\" refused (%u), line skipped\n", "restore_hm", what, field, v);
  return false;
}

void restore_group_line(char** fields, size_t count) {
  TavoNode* node = restore_group(fields[2]);
  TavoNode* action = follow_links(internal_get_node_path(fields[3], TAVO_KIND_ACTION));
  if (node == nullptr || action == nullptr || action->kind != TAVO_KIND_ACTION || action->record == nullptr) return;
  const TavoActionDescriptor* d = action_descriptor(action);
  // Only the node's own actions and the ones every group offers, as a
  // client's call would run them.
  if (d->handler == nullptr || !(action->parent == node || (d->global == 1 && action->parent == get_node(0))))
    return;
  char block[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE];
  memset(block, 0, sizeof block);
  for (uint32_t i = 0; i < TAVO_MAX_PARAMS && 4 + i < count; ++i) {
    const char* field = fields[4 + i];
    // A parameter left out when it was saved replays as not given.
    if (field[0] == '\0' || static_cast<int32_t>(i) >= d->param_count) {
      snprintf(block[i], TAVO_VALUE_SIZE, "%s", field);
      continue;
    }
    const TavoActionParam& p = d->params[i];
    if (!restore_value(field, block[i], p.valid_list, p.value_type, p.minimum, p.maximum, p.name)) return;
  }
  watch_handler(HandlerRun::Action, d->handler, action);
  d->handler(node, action, &block[0][0]);
}

void restore_property_line(char** fields) {
  TavoNode* property = follow_links(internal_get_node_path(fields[1], TAVO_KIND_PROPERTY));
  if (property == nullptr || property->kind != TAVO_KIND_PROPERTY || property->record == nullptr) return;
  TavoPropertyRecord* p = property_record(property);
  if (p->handler == nullptr) return;
  char value[TAVO_VALUE_SIZE];
  if (!restore_value(fields[2], value, p->valid_list, p->value_type, p->minimum, p->maximum, property->name))
    return;
  watch_handler(HandlerRun::Set, p->handler, property);
  p->handler(property, value, TAVO_PROPERTY_SET);
}

void restore_link_line(char** fields) {
  TavoNode* parent = restore_group(fields[2]);
  TavoNode* target = internal_get_node_path(fields[3], TAVO_KIND_GROUP);
  if (parent == nullptr || target == nullptr) return;
  create_link(parent, fields[1], target, nullptr, nullptr, nullptr);
}

// Cuts an escaped record ("KEYWORD\|...", the keyword's '\' at line[mark])
// into fields in place: a '\' takes the next character as it is, an
// unescaped '|' ends a field.
void restore_split_escaped(char* line, size_t mark, std::vector<char*>* fields) {
  line[mark] = '\0';
  fields->push_back(line);
  char* out = line + mark + 2;
  fields->push_back(out);
  for (const char* in = out; *in != '\0'; ++in) {
    if (*in == '\\' && in[1] != '\0') {
      *out++ = *++in;
    } else if (*in == '|') {
      *out++ = '\0';
      fields->push_back(out);
    } else {
      *out++ = *in;
    }
  }
  *out = '\0';
}

void restore_line(char* line) {
  std::vector<char*> fields;
  cut_record(line, &fields);
  const size_t count = fields.size();
  if (strcmp(fields[0], "GROUP") == 0 && count >= 4)
    restore_group_line(fields.data(), count);
  else if (strcmp(fields[0], "PROPERTY") == 0 && count >= 3)
    restore_property_line(fields.data());
  else if (strcmp(fields[0], "SYMLINK") == 0 && count >= 4)
    restore_link_line(fields.data());
}

}  // namespace

void tavo::tree::cut_record(char* line, std::vector<char*>* fields) {
  fields->clear();
  const size_t keyword = strcspn(line, "|");
  if (keyword > 0 && line[keyword - 1] == '\\' && line[keyword] == '|') {
    restore_split_escaped(line, keyword - 1, fields);
  } else {
    const uint32_t n = tavo_split(line, '|');
    for (char* p = line; fields->size() < n; p += strlen(p) + 1) fields->push_back(p);
  }
}

uint32_t restore_hm(FILE* stream) {
  TAVO_API_GUARD;
  if (stream == nullptr) return refuse_null(__func__, "stream");
  if (!tree_ready()) return 1;  // nothing to replay into
  uint32_t size = kRestoreFirstLine;
  std::vector<char> line(size);
  for (;;) {
    uint32_t r = tavo_get_line(stream, line.data(), size);
    if (r == 0) return 0;
    if (r == 2) {
      if (size > UINT32_MAX / 2) return 0;
      size *= 2;
      line.assign(size, '\0');
      continue;
    }
    // Clear what this line used, not the whole (perhaps grown) buffer.
    const size_t used = strlen(line.data()) + 1;
    restore_line(line.data());
    memset(line.data(), 0, used);
  }
}
