// The registered status tables and wordings: two lists linked through the
// registering objects, their heads constant-initialized so that objects of
// any file register in any order at load. The objects are never destroyed
// before the process ends, so the lists are never unlinked.
#include "base/status_registry.h"

namespace tavo::base {
namespace {

constinit StatusTable* registered_tables = nullptr;
constinit Wording* registered_wordings = nullptr;

}  // namespace

StatusTable::StatusTable(const char* owner, std::span<const StatusText> rows)
    : owner_(owner), rows_(rows), next_(registered_tables) {
  registered_tables = this;
}

Wording::Wording(uint32_t code, const char* text) : code_(code), text_(text), next_(registered_wordings) {
  registered_wordings = this;
}

const char* status_text(uint32_t code) {
  for (const StatusTable* t = registered_tables; t != nullptr; t = t->next())
    for (const StatusText& row : t->rows())
      if (row.code == code) return row.text;
  return nullptr;
}

void set_status(uint32_t code) {
  const char* text = status_text(code);
  tavo_set_last_status(code, text != nullptr ? text : "");
}

const StatusTable* first_status_table() { return registered_tables; }

const Wording* first_wording() { return registered_wordings; }

}  // namespace tavo::base
