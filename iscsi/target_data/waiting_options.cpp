// A Target's login options that wait: every Target's TargetLoginOptions
// that start-up or a listing makes is made as its group alone, and what is
// stored in them meanwhile is kept until something reaches the group,
// which is then built and given those values (tree/waiting.h). A client
// listing targets never builds them.
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <bitset>
#include <memory>
#include <string>

#include "base/library_lock.h"
#include "iscsi/target_data/login_sets.h"
#include "tree/waiting.h"

namespace tavo::target_data {
namespace {

// The rows to build and the last text stored in each option. The texts
// may be CHAP secrets: none stays behind in freed memory.
struct WaitingOptions {
  const tree::GroupDef* def = nullptr;
  LoginOptionSet texts;
  std::bitset<iscsi::kOptionCount> stored;
  WaitingOptions() = default;
  WaitingOptions(const WaitingOptions&) = delete;
  WaitingOptions& operator=(const WaitingOptions&) = delete;
  ~WaitingOptions() {
    for (std::string& t : texts) explicit_bzero(t.data(), t.size());
  }
  // As the option's property would keep it.
  void keep(int i, std::string_view text) {
    explicit_bzero(texts[i].data(), texts[i].size());
    texts[i].assign(text.substr(0, strnlen(text.data(), std::min(text.size(), size_t{TAVO_VALUE_SIZE - 1}))));
    stored[i] = true;
  }
};

int option_index(const char* name) {
  for (int i = 0; i < iscsi::kOptionCount; ++i)
    if (name != nullptr && strcasecmp(iscsi::option_name(i), name) == 0) return i;
  return -1;
}

// The build of a waiting group: its rows, then the values stored meanwhile.
uint32_t build_waiting_options(TavoNode* options, void* data) {
  TAVO_LIBRARY_LOCK;
  const auto* w = static_cast<const WaitingOptions*>(data);
  if (w == nullptr || !tree::add_group_children(*w->def, options)) return 1;
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  return authentication != nullptr ? store_set_texts(options, authentication, w->texts, w->stored) : 1;
}

}  // namespace

bool defer_options(TavoNode* options, const tree::GroupDef& def) {
  auto w = std::make_shared<WaitingOptions>();
  w->def = &def;
  return tree::defer_children(options, build_waiting_options, std::move(w));
}

bool store_option_values(TavoNode* options, std::span<const tree::StoredValue> in_options,
                         std::span<const tree::StoredValue> in_authentication) {
  TAVO_LIBRARY_LOCK;
  if (auto* w = static_cast<WaitingOptions*>(tree::waiting_data(options))) {
    for (const auto values : {in_options, in_authentication})
      for (const tree::StoredValue& v : values) {
        const int i = option_index(v.name);
        if (i >= 0) w->keep(i, v.text != nullptr ? v.text : "(null)");
      }
    return true;
  }
  TavoNode* authentication = internal_get_node(options, "Authentication", TAVO_KIND_GROUP);
  if (authentication == nullptr) return false;
  tree::store_values(options, in_options);
  tree::store_values(authentication, in_authentication);
  return true;
}

bool store_waiting_set(TavoNode* options, std::span<const std::string_view> texts) {
  TAVO_LIBRARY_LOCK;
  auto* w = static_cast<WaitingOptions*>(tree::waiting_data(options));
  if (w == nullptr) return false;
  for (size_t i = 0; i < texts.size() && i < w->texts.size(); ++i) w->keep(static_cast<int>(i), texts[i]);
  return true;
}

}  // namespace tavo::target_data
