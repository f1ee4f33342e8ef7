// Comma-separated lists kept in 256-byte texts, parameter lookup, and
// formatting a stored value.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "tree/tree_internal.h"

using namespace tavo::tree;

namespace {

bool same_item(const char* a, size_t alen, const char* b, int32_t mode) {
  if (strlen(b) != alen) return false;
  if (mode == 1) return strncasecmp(a, b, alen) == 0;
  if (mode == 0) return strncmp(a, b, alen) == 0;
  return false;
}

}  // namespace

char* tavo_internal_list_search(char* list, const char* item, int32_t mode) {
  if (list == nullptr || item == nullptr) return nullptr;
  char* start = list;
  for (;;) {
    char* comma = strchr(start, ',');
    size_t len = comma ? static_cast<size_t>(comma - start) : strlen(start);
    if (same_item(start, len, item, mode)) return start;
    if (comma == nullptr) return nullptr;
    start = comma + 1;
  }
}

uint32_t tavo_internal_list_del(char* list, const char* item, int32_t mode) {
  char* at = tavo_internal_list_search(list, item, mode);
  if (at == nullptr) return 1;
  size_t len = strlen(item);
  char* after = at + len;
  if (*after == ',') {
    memmove(at, after + 1, strlen(after + 1) + 1);  // the item and the comma after it
  } else if (at > list) {
    at[-1] = '\0';  // the last item and the comma before it
  } else {
    *at = '\0';
  }
  return 0;
}

uint32_t tavo_internal_list_add(char* list, const char* item, int32_t mode) {
  if (list == nullptr || item == nullptr) return 1;
  size_t used = strnlen(list, TAVO_VALUE_SIZE);
  if (used > 254 || tavo_internal_list_search(list, item, mode) != nullptr) return 1;
  size_t need = used + (used ? 1 : 0) + strlen(item);
  if (need > TAVO_VALUE_SIZE - 1) return 1;  // a cut item would corrupt the list
  if (used) list[used++] = ',';
  memcpy(list + used, item, strlen(item) + 1);
  return 0;
}

TavoActionParam* tavo_internal_get_param(TavoNode* action, const char* name) {
  if (action == nullptr || name == nullptr || action->kind != TAVO_KIND_ACTION || action->record == nullptr)
    return nullptr;
  auto* d = static_cast<TavoActionDescriptor*>(action->record);
  for (int32_t i = 0; i < d->param_count && i < TAVO_MAX_PARAMS; ++i)
    if (strcasecmp(d->params[i].name, name) == 0) return &d->params[i];
  return nullptr;
}

int32_t SET_CACHE_PROP_VAL(TavoNode* property, const char* format, ...) {
  if (property == nullptr || format == nullptr || property->kind != TAVO_KIND_PROPERTY || property->record == nullptr)
    return 0;
  TavoPropertyRecord* rec = property_record(property);
  va_list ap;
  va_start(ap, format);
  format_value(rec->value, format, ap);
  va_end(ap);
  return static_cast<int32_t>(strlen(rec->value));
}
