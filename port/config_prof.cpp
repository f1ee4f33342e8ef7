// config_prof.txt: the editable values of each controller's configured
// view, one line per configured function, until SaveProfile writes them to
// the adapter. Every change holds the file's lock and replaces the file
// whole (a flushed new file renamed over it), so a killed process or a
// power cut leaves the old content or the new; readers take no lock. At
// start-up the whole file is built in memory and replaced once, unless it
// holds those lines already. The file is shared by every process on the
// root: each remembers the edits it made, so that a save learns when
// another process's start or change has since replaced one.
#include "port/config_prof.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_utils.h"
#include "base/library_lock.h"
#include "base/save_file.h"
#include "controller/controller.h"

namespace tavo::port {
namespace {

constexpr char kConfigProf[] = "/etc/config/QVL/tavo/config_prof.txt";
constexpr mode_t kConfigProfMode = 0644;

using Fields = char[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE];

// An edit this process made to the lines of a controller: field number
// field of the lines of the functions (none: all its lines) became value
// (as a line keeps it, cut to a field's size).
struct HeldEdit {
  ControllerLines who;
  std::vector<std::string> functions;
  uint32_t field;
  std::string value;
};

// What this process holds of the file, guarded by the library lock.
struct CprofState {
  // While the back end starts: what the file will hold once start-up ends.
  std::optional<std::vector<std::string>> starting;
  // What the last start-up built and could not write: read in the file's
  // place (the old file may show edits the adapter never took) until a
  // change of the file succeeds, or another process changes the root
  // (config_prof_follow_root). Not the file's identity: an inode freed by
  // a rename comes back, with the same size and times within a tick.
  std::optional<std::vector<std::string>> unwritten;
  // The edits made since the view of their controller was last built here,
  // the latest last.
  std::vector<HeldEdit> held;
  // A CprofHold holds the file's lock: no other thread comes in meanwhile,
  // as the hold keeps the library lock too.
  bool hold = false;
};

CprofState& cprof_state() {
  static CprofState state;
  return state;
}

bool same_controller(const ControllerLines& a, const ControllerLines& b) {
  return strcasecmp(a.serial, b.serial) == 0 && strcasecmp(a.bus, b.bus) == 0;
}

// Forgets the edits held for the controller's lines.
void cprof_forget(const ControllerLines& who) {
  std::erase_if(cprof_state().held, [&](const HeldEdit& e) { return same_controller(e.who, who); });
}

// The file's non-empty lines without their line feeds (a last line
// without one counts whole). 0; 1 for a missing file; -1 when it cannot be
// read.
int cprof_read_file(std::vector<std::string>* lines) {
  std::string text;
  files::FileIdentity id;
  if (files::read_saved(kConfigProf, 0, &text, &id) != 0) {
    const int err = errno;
    if (err == ENOENT) return 1;
    pdebug(TAVO_LOG_BACKEND, 3, "%s: reading %s failed: %s\n", __func__, kConfigProf, strerror(err));
    errno = err;
    return -1;
  }
  lines->clear();
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines->emplace_back(text, start, end - start);
    start = end + 1;
  }
  return 0;
}

// The content as this process reads it: the file's, or what start-up holds
// in its place.
int cprof_read(std::vector<std::string>* lines) {
  TAVO_LIBRARY_LOCK;
  const CprofState& s = cprof_state();
  if (const auto& memory = s.starting ? s.starting : s.unwritten) {
    *lines = *memory;
    return 0;
  }
  return cprof_read_file(lines);
}

// The status of a read of the file that failed (errno its reason): a
// change needs what the file holds.
void cprof_failed_read() { files::kSaveFailed.set(kConfigProf, strerror(errno)); }

uint32_t cprof_write(const std::vector<std::string>& lines) {
  CprofState& s = cprof_state();
  if (s.starting) {
    *s.starting = lines;
    return 0;
  }
  std::string content;
  for (const std::string& line : lines) content.append(line).push_back('\n');
  const uint32_t result = files::replace_file(kConfigProf, content, kConfigProfMode);
  if (result == 0) s.unwritten.reset();
  return result;
}

// A line of the fields, with field `field` replaced by value.
std::string cprof_join(const Fields& fields, uint32_t field, const char* value) {
  std::string line;
  for (uint32_t i = 0; i < TAVO_CPROF_FIELDS; ++i) {
    if (i != 0) line.push_back(',');
    line.append(i == field ? value : fields[i]);
  }
  return line;
}

bool cprof_matches(const std::string& line, const ControllerLines& who, const char* function_number, uint32_t mode,
                   Fields& fields) {
  return TAVO_compare_cprofile_data(line.c_str(), who.serial, who.bus, function_number, fields, mode) == 0;
}

// A value that would break its line or the file.
bool cprof_unsafe(const char* value) { return value == nullptr || strpbrk(value, ",\r\n") != nullptr; }

}  // namespace

bool controller_lines(TavoNode* controller, ControllerLines* who) {
  who->serial[0] = who->bus[0] = '\0';
  if (controller == nullptr || internal_get_property(controller, "SerialNumber", who->serial) != 0 ||
      TAVO_get_pci_bus_number(controller, who->bus) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get the serial or bus number.\n", __func__);
    return false;
  }
  return true;
}

namespace {

// One change of the file under its lock, from its content read afresh:
// edit changes the lines (an absent file reads as none; missing_ok false:
// it stays absent). Unchanged lines are not written.
CprofEdit cprof_change(bool missing_ok, const std::function<void(std::vector<std::string>*)>& edit) {
  // The library lock first, as everywhere: the file's lock is taken inside it.
  TAVO_LIBRARY_LOCK;
  std::optional<files::SaveLock> lock;
  const CprofState& s = cprof_state();
  if (!s.starting && !s.hold && !lock.emplace(kConfigProf).held()) return CprofEdit::Failed;
  std::vector<std::string> lines;
  const int read = cprof_read(&lines);
  if (read < 0) {
    cprof_failed_read();
    return CprofEdit::Failed;
  }
  if (read > 0 && !missing_ok) return CprofEdit::Missing;
  std::vector<std::string> edited = lines;
  edit(&edited);
  if (read == 0 && edited == lines) return CprofEdit::Done;
  return cprof_write(edited) == 0 ? CprofEdit::Done : CprofEdit::Failed;
}

// Whether line is one of the controller's (functions empty) or of one of
// the functions, its fields into fields.
bool cprof_ours(const std::string& line, const ControllerLines& who, const std::vector<std::string>& functions,
                Fields& fields) {
  if (functions.empty()) return cprof_matches(line, who, nullptr, TAVO_CPROF_CONTROLLER, fields);
  return std::any_of(functions.begin(), functions.end(), [&](const std::string& f) {
    return cprof_matches(line, who, f.c_str(), TAVO_CPROF_FUNCTION_LINE, fields);
  });
}

}  // namespace

CprofEdit cprof_rewrite(const ControllerLines& who, std::span<const CprofChange> changes) {
  for (const CprofChange& c : changes)
    if (c.value == nullptr || c.field >= TAVO_CPROF_FIELDS || cprof_unsafe(c.value)) return CprofEdit::Missing;
  TAVO_LIBRARY_LOCK;
  const CprofEdit result = cprof_change(false, [&](std::vector<std::string>* lines) {
    for (std::string& line : *lines)
      for (const CprofChange& c : changes) {
        Fields fields = {};
        if (cprof_ours(line, who, c.functions, fields)) line = cprof_join(fields, c.field, c.value);
      }
  });
  if (result != CprofEdit::Done) return result;
  std::vector<HeldEdit>& held = cprof_state().held;
  for (const CprofChange& c : changes) {
    // A later edit of the same value stands for an earlier one.
    std::erase_if(held, [&](const HeldEdit& e) {
      return same_controller(e.who, who) && e.field == c.field && e.functions == c.functions;
    });
    held.push_back({who, c.functions, c.field, std::string(c.value).substr(0, TAVO_CPROF_FIELD_SIZE - 1)});
  }
  return result;
}

CprofEdit cprof_rewrite(const ControllerLines& who, const std::vector<std::string>& functions, uint32_t field,
                        const char* value) {
  if (value != nullptr) {
    const CprofChange change[] = {{functions, field, value}};
    return cprof_rewrite(who, change);
  }
  return cprof_change(false, [&](std::vector<std::string>* lines) {
    std::erase_if(*lines, [&](const std::string& line) {
      Fields fields = {};
      return cprof_ours(line, who, functions, fields);
    });
  });
}

uint32_t cprof_replace(const ControllerLines& who, const std::vector<std::string>& lines) {
  TAVO_LIBRARY_LOCK;
  if (cprof_change(true, [&](std::vector<std::string>* file) {
        std::erase_if(*file, [&](const std::string& line) {
          Fields fields = {};
          return cprof_ours(line, who, {}, fields);
        });
        file->insert(file->end(), lines.begin(), lines.end());
      }) != CprofEdit::Done)
    return 1;
  // The view built afresh here replaced this process's edits of it.
  cprof_forget(who);
  return 0;
}

bool cprof_edits_lost(TavoNode* controller) {
  TAVO_LIBRARY_LOCK;
  std::vector<HeldEdit>& held = cprof_state().held;
  ControllerLines who;
  std::vector<std::string> lines;
  // A file that cannot be read tells nothing: the stored values, which
  // hold the edits, stand in for it.
  if (held.empty() || !controller_lines(controller, &who) || cprof_read(&lines) != 0) return false;
  bool lost = false;
  for (const std::string& line : lines) {
    // Each field of the line is the latest held edit's that covers it.
    uint32_t settled = 0;
    for (auto e = held.rbegin(); e != held.rend(); ++e) {
      Fields fields = {};
      if (!same_controller(e->who, who) || (settled & (1u << e->field)) != 0 ||
          !cprof_ours(line, who, e->functions, fields))
        continue;
      settled |= 1u << e->field;
      lost = lost || strcasecmp(fields[e->field], e->value.c_str()) != 0;
    }
  }
  if (lost) cprof_forget(who);
  return lost;
}

CprofHold::CprofHold() : library_(base::library_mutex()), lock_(kConfigProf) {
  if (!lock_.held()) return;
  // A file that cannot be read could not take the view rebuilt after the
  // change, nor show the edits a save writes: nothing is sent.
  std::vector<std::string> lines;
  if (cprof_read(&lines) < 0) {
    cprof_failed_read();
    return;
  }
  cprof_state().hold = readable_ = true;
}

CprofHold::~CprofHold() { cprof_state().hold = false; }

void config_prof_follow_root() {
  TAVO_LIBRARY_LOCK;
  // Another process wrote the file from the adapter or its own reads, or
  // may have: the file's lines are the ones to keep.
  cprof_state().unwritten.reset();
}

void config_prof_startup_begin() {
  TAVO_LIBRARY_LOCK;
  CprofState& s = cprof_state();
  // A start discards this process's edits, as it discards every other's.
  s = CprofState{};
  s.starting.emplace();
}

uint32_t config_prof_startup_end() {
  TAVO_LIBRARY_LOCK;
  CprofState& s = cprof_state();
  if (!s.starting) return 0;
  const std::vector<std::string> lines = std::move(*s.starting);
  s.starting.reset();
  // No controller with profiles, and none ever saved here: nothing to
  // clear, and no file to make.
  if (lines.empty() && files::never_saved(kConfigProf)) return 0;
  // Read in the file's place until it holds them.
  if (!lines.empty()) s.unwritten = lines;
  files::SaveLock lock(kConfigProf);
  if (!lock.held()) return 1;
  files::remove_leftover_temporaries(kConfigProf);
  if (!lines.empty()) {
    // A start that finds the file as it would write it writes nothing.
    std::vector<std::string> now;
    if (cprof_read_file(&now) == 0 && now == lines) {
      s.unwritten.reset();
      return 0;
    }
    return cprof_write(lines);
  }
  // No controller with profiles: no file, as before any was written.
  TAVO_delete_file(kConfigProf);
  return 0;
}

}  // namespace tavo::port

using namespace tavo::port;

uint32_t TAVO_compare_cprofile_data(const char* line, const char* serial, const char* bus,
                                    const char* function_number,
                                    char fields[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE], uint32_t mode) {
  if (line == nullptr || fields == nullptr) return 1;
  std::string_view rest(line);
  for (uint32_t i = 0; i < TAVO_CPROF_FIELDS && rest.data() != nullptr; ++i) {
    const size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    const size_t n = field.size() < TAVO_CPROF_FIELD_SIZE - 1 ? field.size() : TAVO_CPROF_FIELD_SIZE - 1;
    memcpy(fields[i], field.data(), n);
    fields[i][n] = '\0';
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  const bool same = serial != nullptr && bus != nullptr && strcasecmp(serial, fields[TAVO_CPROF_SERIAL]) == 0 &&
                    strcasecmp(bus, fields[TAVO_CPROF_BUS]) == 0 &&
                    (mode != TAVO_CPROF_FUNCTION_LINE ||
                     (function_number != nullptr && strcasecmp(function_number, fields[TAVO_CPROF_FUNCTION]) == 0));
  return same ? 0 : 1;
}

uint32_t TAVO_get_config_prof_prop(TavoNode* controller, const char* function_number,
                                   char fields[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE], uint32_t mode) {
  ControllerLines who;
  std::vector<std::string> lines;
  if (fields == nullptr || !controller_lines(controller, &who) || cprof_read(&lines) != 0) return 1;
  // A NIC function with RoCE has two lines, "NIC" then "NIC+RoCE": the
  // second is its answer.
  Fields first = {};
  int counted = 0;
  for (const std::string& line : lines) {
    Fields f = {};
    if (!cprof_matches(line, who, function_number, mode, f)) continue;
    const bool nic = strcasecmp(f[TAVO_CPROF_PROTOCOL], "NIC") == 0 || strcasecmp(f[TAVO_CPROF_PROTOCOL], "NIC+RoCE") == 0;
    if (function_number != nullptr && nic && strcasecmp(f[TAVO_CPROF_FUNCTION], function_number) == 0 &&
        ++counted == 1) {
      memcpy(first, f, sizeof first);
      continue;
    }
    memcpy(fields, f, sizeof f);
    return 0;
  }
  if (counted != 1) return 1;
  memcpy(fields, first, sizeof first);
  return 0;
}

uint32_t TAVO_set_config_prof_prop(TavoNode* controller, const char* function_number, const char* value,
                                   uint32_t mode, uint32_t field) {
  ControllerLines who;
  if (value == nullptr || !controller_lines(controller, &who)) return 1;
  std::vector<std::string> functions;
  if (mode == TAVO_CPROF_FUNCTION_LINE) {
    if (function_number == nullptr) return 0;  // no line matches
    functions.emplace_back(function_number);
  }
  return cprof_rewrite(who, functions, field, value) == CprofEdit::Done ? 0 : 1;
}

uint32_t TAVO_delete_cfg_prof_from_file(const char* serial, const char* bus) {
  if (serial == nullptr || bus == nullptr) return 1;
  ControllerLines who;
  snprintf(who.serial, sizeof who.serial, "%s", serial);
  snprintf(who.bus, sizeof who.bus, "%s", bus);
  return cprof_rewrite(who, {}, 0, nullptr) == CprofEdit::Done ? 0 : 1;
}
