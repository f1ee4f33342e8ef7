// The tree's saved records in memory, no tree built per input: lines read
// from a stream whatever the buffer's first size, each cut into its keyword
// and fields, which write back into a line that cuts into the same fields;
// then the paths of GROUP, PROPERTY and SYMLINK records walked as the replay
// walks them, in a tree built once (fuzz/fuzz_tree.h) that no input
// changes. Input: the line buffer's first size (first byte), then records.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/debug_log.h"
#include "fuzz/fuzz_root.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_tree.h"
#include "tree/backend_hooks.h"
#include "tree/persist.h"
#include "tree/tree_internal.h"

namespace {

// Kept across inputs for their room.
std::vector<char> line_buffer;
std::vector<char*> cut_fields, cut_again;
std::string cut, joined, again;
std::vector<std::string> fields;
std::vector<const char*> values;

// The node a path names carries the path's last name, and its own path
// names it again.
void check_walk(const char* path, uint32_t kind) {
  TavoNode* n = internal_get_node_path(path, kind);
  if (n == nullptr) return;
  if (strcmp(path, "ROOT") == 0) {
    FUZZ_CHECK(n == get_node(0));
    return;
  }
  FUZZ_CHECK(tavo::tree::follow_links(n) != nullptr && tavo::tree::follow_links(n)->kind == kind);
  const char* last = strrchr(path, '/');
  FUZZ_CHECK(last != nullptr);
  char shown[TAVO_NAME_SIZE];
  tavo::tree::display_name(n, shown);
  FUZZ_CHECK(strncasecmp(shown, last + 1, TAVO_NAME_SIZE - 1) == 0);
  char full[TAVO_PATH_SIZE];
  get_full_path(n, full);
  if (strlen(full) < TAVO_PATH_SIZE - 1) FUZZ_CHECK(internal_get_node_path(full, kind) == n);
}

// One line (as the replay gets it: a C text) through the grammar.
void check_record(std::string_view line) {
  cut.assign(line);
  tavo::tree::cut_record(cut.data(), &cut_fields);
  FUZZ_CHECK(!cut_fields.empty());
  const char* end = cut.data() + cut.size();
  size_t total = 0;
  for (const char* f : cut_fields) {
    FUZZ_CHECK(f >= cut.data() && f <= end);
    total += strlen(f);  // cut ends in its terminator
  }
  FUZZ_CHECK(total + cut_fields.size() - 1 <= line.size());
  fields.resize(cut_fields.size());
  for (size_t i = 0; i < fields.size(); ++i) fields[i].assign(cut_fields[i]);
  const size_t bar = line.find('|');
  const bool escaped_form = bar != std::string_view::npos && bar > 0 && line[bar - 1] == '\\';
  joined.assign(fields[0]);
  for (size_t i = 1; i < fields.size(); ++i) joined.append("|").append(fields[i]);
  if (!escaped_form) FUZZ_CHECK(joined == line);

  // Written back as a record (the writer always gives fields, cuts them at
  // a line break, and is never given a keyword that ends in '\').
  bool writable = fields.size() >= 2 && (fields[0].empty() || fields[0].back() != '\\');
  for (const std::string& f : fields) writable = writable && f.find('\r') == std::string::npos;
  if (writable) {
    values.clear();
    for (size_t i = 1; i < fields.size(); ++i) values.push_back(fields[i].c_str());
    again = tavo::tree::record_line(fields[0].c_str(), values);
    FUZZ_CHECK(!again.empty() && again.back() == '\n');
    again.pop_back();
    FUZZ_CHECK(again.find('\n') == std::string::npos);
    if (!escaped_form) FUZZ_CHECK(again == line);  // plain records are written as they always were
    tavo::tree::cut_record(again.data(), &cut_again);
    FUZZ_CHECK(cut_again.size() == fields.size());
    for (size_t i = 0; i < fields.size(); ++i) FUZZ_CHECK(fields[i] == cut_again[i]);
  }

  const size_t n = fields.size();
  if (fields[0] == "GROUP" && n >= 4) {
    check_walk(fields[2].c_str(), TAVO_KIND_GROUP);
    check_walk(fields[3].c_str(), TAVO_KIND_ACTION);
  } else if (fields[0] == "PROPERTY" && n >= 3) {
    check_walk(fields[1].c_str(), TAVO_KIND_PROPERTY);
  } else if (fields[0] == "SYMLINK" && n >= 4) {
    check_walk(fields[2].c_str(), TAVO_KIND_GROUP);
    check_walk(fields[3].c_str(), TAVO_KIND_GROUP);
  }
}

// An instance made by the fixed tree's action, as a client's call would.
TavoNode* fuzz_add_target(TavoNode* group, const char* name) {
  char params[TAVO_MAX_PARAMS][TAVO_VALUE_SIZE] = {};
  snprintf(params[0], TAVO_VALUE_SIZE, "%s", name);
  TavoNode* action = internal_get_node(group, "AddTarget", TAVO_KIND_ACTION);
  FUZZ_CHECK(action != nullptr && fuzz_tree::do_AddTarget(group, action, &params[0][0]) == 0);
  return get_first_instance(group, "Target");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_install_root();
  tavo::tree::set_backend_hooks({[] { return 0u; }, nullptr});
  FUZZ_CHECK(TAVO_init() == 0);
  tavo::base::close_log();  // nothing here is logged
  fuzz_tree::build_controllers();
  TavoNode* first = internal_get_node(get_node(0), "Corvane0", TAVO_KIND_GROUP);
  TavoNode* second = internal_get_node(get_node(0), "Corvane1", TAVO_KIND_GROUP);
  FUZZ_CHECK(first != nullptr && second != nullptr);
  fuzz_add_target(fuzz_add_target(first, "t0"), "t1");
  FUZZ_CHECK(create_link(second, "Peer", internal_get_node(first, "Settings", TAVO_KIND_GROUP), nullptr, nullptr,
                         nullptr) != nullptr);
  // Every node's path names it.
  tavo::tree::for_each_in_subtree(get_node(0), [](TavoNode* node) {
    char full[TAVO_PATH_SIZE];
    get_full_path(node, full);
    const uint32_t kind = node->kind == TAVO_KIND_LINK ? TAVO_KIND_GROUP : node->kind;
    FUZZ_CHECK(internal_get_node_path(full, kind) == node);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  uint32_t buffer_size = 2 + in.byte() % 64;
  std::string_view text = in.rest();
  if (text.empty()) return 0;
  FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  FUZZ_CHECK(stream != nullptr);
  size_t at = 0;  // where the next line starts
  for (;;) {
    if (line_buffer.size() < buffer_size) line_buffer.resize(buffer_size);
    const uint32_t r = tavo_get_line(stream, line_buffer.data(), buffer_size);
    const size_t feed = text.find('\n', at);
    const std::string_view raw = text.substr(at, feed == std::string_view::npos ? std::string_view::npos : feed - at);
    if (r == 0) {
      FUZZ_CHECK(feed == std::string_view::npos);  // only a last line without a line feed is left
      break;
    }
    FUZZ_CHECK(r <= 2);
    if (r == 2) {
      FUZZ_CHECK(raw.size() > buffer_size - 2);
      buffer_size *= 2;
      continue;
    }
    FUZZ_CHECK(feed != std::string_view::npos && raw.size() <= buffer_size - 2);
    FUZZ_CHECK(std::string_view(line_buffer.data()) == fuzz_c_text(raw));
    check_record(line_buffer.data());
    at = feed + 1;
  }
  fclose(stream);
  return 0;
}
