// config_prof.txt (/etc/config/QVL/tavo/): the editable values of each
// controller's configured profile view until SaveProfile writes them to
// the adapter. The NIC branch edits them; the port branch reads a port's
// configured multi-channel type from them.
#pragma once

#include <stdint.h>

#include "tree/tree.h"

TAVO_BEGIN_DECLS

// One line per configured function,
// "serial,bus,profile id,multi-channel type,0x<function>,protocol,SR-IOV".
enum { TAVO_CPROF_FIELDS = 7, TAVO_CPROF_FIELD_SIZE = 35 };
enum {
  TAVO_CPROF_SERIAL = 0,
  TAVO_CPROF_BUS = 1,
  TAVO_CPROF_PROFILE_ID = 2,
  TAVO_CPROF_MC_TYPE = 3,
  TAVO_CPROF_FUNCTION = 4,
  TAVO_CPROF_PROTOCOL = 5,
  TAVO_CPROF_SRIOV = 6
};
// Matching modes: 0 the controller's lines (serial and bus), 1 also the
// function number. Field texts compare without case.
enum { TAVO_CPROF_CONTROLLER = 0, TAVO_CPROF_FUNCTION_LINE = 1 };
// 0 when line (without its line feed) matches; its fields, cut at the
// commas and to 34 characters, into fields (a missing one is left as it
// was). 1 otherwise.
TAVO_EXPORT uint32_t TAVO_compare_cprofile_data(const char* line, const char* serial, const char* bus,
                                                const char* function_number,
                                                char fields[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE],
                                                uint32_t mode);
// The fields of the controller's (function_number NULL) or the function's
// line; for a NIC function with RoCE its "NIC+RoCE" line. 0, or 1 when none
// matches or the file cannot be read.
TAVO_EXPORT uint32_t TAVO_get_config_prof_prop(TavoNode* controller, const char* function_number,
                                               char fields[TAVO_CPROF_FIELDS][TAVO_CPROF_FIELD_SIZE], uint32_t mode);
// Field number field of every matching line becomes value. 0, or 1 when the
// serial or bus number or the file is missing, or the file could not be
// saved (with its status).
TAVO_EXPORT uint32_t TAVO_set_config_prof_prop(TavoNode* controller, const char* function_number, const char* value,
                                               uint32_t mode, uint32_t field);
// Removes every line of the controller of that serial and bus. 0, or 1 when
// the file is missing or could not be saved.
TAVO_EXPORT uint32_t TAVO_delete_cfg_prof_from_file(const char* serial, const char* bus);

TAVO_END_DECLS

#ifdef __cplusplus
#include <span>
#include <string>
#include <vector>

#include "base/library_lock.h"
#include "base/save_file.h"

namespace tavo::port {

// config_prof.txt while the back end starts: from begin on, the lines the
// configured views build (and any edit) are gathered in memory, and end
// replaces the file once, under its lock, after removing the temporary
// files of saves that were killed; a process killed meanwhile leaves the
// file as it was. end answers 0, or 1 when the file could not be replaced:
// this process then reads the lines built in its place until a change of
// the file succeeds, or another process changes the root. A start forgets
// the edits this process held.
void config_prof_startup_begin();
uint32_t config_prof_startup_end();
// Catches up with another process's change of the root (a RootFollower,
// base/root_gate.h): the lines a start could not write give way to the
// file.
void config_prof_follow_root();

// The serial and bus numbers that begin a controller's lines.
struct ControllerLines {
  char serial[TAVO_VALUE_SIZE];
  char bus[TAVO_VALUE_SIZE];
};
// The controller's SerialNumber and its first function's BusNumber; false
// when either cannot be read.
bool controller_lines(TavoNode* controller, ControllerLines* who);

enum class CprofEdit {
  Done,     // the matching lines changed (or none matched)
  Missing,  // no file, or a value that cannot stand in a line
  Failed,   // the file could not be read or saved (the reason in the last status)
};
// In one save under the file's lock, field number field of the lines of
// the functions (their FunctionNumber texts; none: every line of the
// controller) becomes value; a null value drops those lines.
CprofEdit cprof_rewrite(const ControllerLines& who, const std::vector<std::string>& functions, uint32_t field,
                        const char* value);
// Several such changes (none drops lines) in one save, in their order.
struct CprofChange {
  std::vector<std::string> functions;
  uint32_t field;
  const char* value;
};
CprofEdit cprof_rewrite(const ControllerLines& who, std::span<const CprofChange> changes);

// The controller's lines become lines (the others kept, in their order,
// before them), in one save under the file's lock; 0, or 1 when the file
// could not be read or saved. The edits this process held of the
// controller's lines go with them.
uint32_t cprof_replace(const ControllerLines& who, const std::vector<std::string>& lines);

// config_prof.txt's lock held by this thread while it lives (with the
// library lock, taken first), so that what it reads of the file, what it
// tells the adapter and the lines it writes after are one change to the
// other processes: the changes of the file made meanwhile take the lock
// no more. held() is false, with the status of a failed save, when the
// lock cannot be had or the file (missing aside) cannot be read: nothing
// may be changed then. Never nested.
class CprofHold {
 public:
  CprofHold();
  ~CprofHold();
  CprofHold(const CprofHold&) = delete;
  CprofHold& operator=(const CprofHold&) = delete;
  bool held() const { return readable_; }

 private:
  base::LibraryLock library_;
  files::SaveLock lock_;
  bool readable_ = false;
};

// Whether an edit this process made to the controller's lines (through
// cprof_rewrite, since its view was last built here) no longer stands in
// the file: another process started, rebuilt the view or changed the
// value meanwhile. The controller's edits are forgotten once that is told.
// False when none is held, or the file cannot be read.
bool cprof_edits_lost(TavoNode* controller);

// MCType of a ConfiguredProfile's Port read afresh, as the property
// answers it: the config_prof.txt line of the port's first Function, else
// (no Function, or no line) its stored value; stored and copied into text.
// "None" where the generation has no profiles, "N/A" inside a virtual
// function. 0, or 1 when the groups above are not a controller's
// ProfileManagement or a FunctionNumber cannot be read.
uint32_t read_configured_mc_type(TavoNode* profile_port, char text[TAVO_VALUE_SIZE]);

}  // namespace tavo::port
#endif
