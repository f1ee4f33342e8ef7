// Node paths: "ROOT" and the display names down to the node, joined by '/'.
#include <string.h>

#include <string>
#include <vector>

#include "tree/persist.h"

namespace {

bool path_is_root(const TavoNode* n) { return n->parent == nullptr || n->parent == n; }

}  // namespace

void get_full_path(TavoNode* node, char* path) {
  if (path == nullptr) return;
  path[0] = '\0';
  if (node == nullptr) return;
  std::vector<TavoNode*> levels;
  for (TavoNode* n = node; !path_is_root(n); n = n->parent) levels.push_back(n);
  std::string text = "ROOT";
  for (auto it = levels.rbegin(); it != levels.rend() && text.size() < TAVO_PATH_SIZE; ++it) {
    char shown[TAVO_NAME_SIZE];
    tavo::tree::display_name(*it, shown);
    text += '/';
    text += shown;
  }
  snprintf(path, TAVO_PATH_SIZE, "%s", text.c_str());
}

TavoNode* internal_get_node_path(const char* path, uint32_t kind) {
  if (path == nullptr) return nullptr;
  if (strcmp(path, "ROOT") == 0) return get_node(0);
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    size_t slash = strcspn(path + start, "/");
    parts.emplace_back(path + start, slash);
    if (path[start + slash] == '\0') break;
    start += slash + 1;
  }
  if (parts.size() < 2) return nullptr;
  // The first component stands for ROOT whatever it says.
  TavoNode* node = get_node(0);
  for (size_t i = 1; i < parts.size() && node != nullptr; ++i)
    node = internal_get_node(node, parts[i].c_str(), i + 1 < parts.size() ? static_cast<uint32_t>(TAVO_KIND_GROUP) : kind);
  return node;
}
