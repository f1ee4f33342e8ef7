#include "platform/host.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

namespace tavo::platform {
namespace {

std::mutex host_mutex;
std::unique_ptr<Host> current;

std::unique_ptr<Host> host_from_environment() {
  const char* topology = secure_getenv("TAVO_SIMULATOR");
  if (topology != nullptr && topology[0] != '\0') {
    if (auto sim = make_simulated_host(topology)) return sim;
  }
  return make_real_host();
}

}  // namespace

Host& host() {
  std::lock_guard<std::mutex> guard(host_mutex);
  if (!current) current = host_from_environment();
  return *current;
}

void install_host(std::unique_ptr<Host> h) {
  std::lock_guard<std::mutex> guard(host_mutex);
  current = std::move(h);
}

std::string fixed_path(const std::string& path) {
  std::string root = host().root();
  if (root.empty() || path.empty() || path[0] != '/') return path;
  if (path.compare(0, root.size(), root) == 0 &&
      (path.size() == root.size() || path[root.size()] == '/'))
    return path;
  return root + path;
}

}  // namespace tavo::platform
