// The log level kept in libtavo.conf and shown by ROOT's TAVODebugLevel.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "platform/host.h"
#include "base/debug_log.h"
#include "base/file_utils.h"
#include "base/last_status.h"
#include "base/memory.h"
#include "base/save_file.h"

namespace {

constexpr char kLevelFile[] = "/etc/config/QVL/tavo/libtavo.conf";
constexpr char kLevelFileHead[] =
    "#TAVOLogLevel: Control the number of messages logged to the tavo2d.log file.\n"
    "#Possible values are 0 - Disabled, 1 - FATAL, 2 - CRITICAL, 3 - ERROR, 4 - WARNING, 5 - INFORMATION, 6 - "
    "DEBUG.\n"
    "TAVOLogLevel ";
constexpr long kHighestLevel = 6;
constexpr mode_t kLevelFileMode = 0644;

// The level a libtavo.conf line sets: the second blank-separated word read
// in base 10 (no digits read as 0). False when the line holds none.
bool level_of_line(char* line, long* level) {
  if (strstr(line, "TAVOLogLevel ") == nullptr) return false;
  char* save = nullptr;
  if (strtok_r(line, " \n", &save) == nullptr) return false;
  char* word = strtok_r(nullptr, " \n", &save);
  if (word == nullptr) return false;
  *level = strtol(word, nullptr, 10);
  return true;
}

}  // namespace

namespace tavo::base {

uint32_t save_log_level(uint32_t level) {
  // Replaced whole: readers never see the file empty, and a failed save
  // keeps the level saved before. Under its lock, what killed saves left
  // beside it goes first.
  files::SaveLock lock(kLevelFile);
  if (!lock.held()) return 1;
  files::remove_leftover_temporaries(kLevelFile);
  return files::replace_file(kLevelFile, kLevelFileHead + std::to_string(level), kLevelFileMode);
}

}  // namespace tavo::base

uint32_t TAVO_set_debug_level(void) { return tavo::base::save_log_level(tavo::base::log_level()); }

uint32_t TAVO_get_debug_level(void) {
  // Read as the library's own file: a link or a FIFO planted there is not
  // read (nor waited on).
  std::string text;
  tavo::files::FileIdentity id;
  if (tavo::files::read_saved(kLevelFile, 0, &text, &id) != 0) return 1;
  bool refused = false;
  // In the pieces a line buffer of 256 bytes takes: a line, or its next 255
  // bytes.
  for (size_t at = 0; at < text.size();) {
    const size_t feed = text.find('\n', at);
    const size_t end = std::min(feed == std::string::npos ? text.size() : feed + 1, at + 255);
    std::string line = text.substr(at, end - at);
    at = end;
    long level = 0;
    if (!level_of_line(line.data(), &level)) continue;
    if (level >= 0 && level <= kHighestLevel)
      tavo::base::set_log_level(static_cast<uint32_t>(level));
    else
      refused = true;
  }
  // The file holds a level out of range: write the one in force, once.
  if (refused) TAVO_set_debug_level();
  return 0;
}

uint32_t TAVO_update_loglevel(void) {
  if (tavo::files::readable(tavo::platform::fixed_path(kLevelFile))) {
    TAVO_get_debug_level();
  } else {
    // A client's first start comes before the back end's, which makes the
    // configuration directory: the file is written there all the same.
    tavo::base::make_config_dir();
    TAVO_set_debug_level();
  }
  TAVO_change_permissions_file(kLevelFile);  // only a readable file is changed
  return 0;
}
