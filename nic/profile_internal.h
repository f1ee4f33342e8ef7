// What the profile, ARI and link-configuration code shares: the groups of a
// controller's ProfileManagement, the generations that have profiles, the
// multi-channel and protocol names, and the rebuild of the configured view.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/memory.h"
#include "controller/controller.h"
#include "nic/nic_internal.h"
#include "port/port.h"

// What a build of the configured view writes into config_prof.txt: the
// controller's new lines.
struct TavoConfigProfLines {
  std::vector<std::string> lines;  // without their line feeds
  // The lines as the enumeration of the current port found them.
  std::vector<std::string> before_port;
};

namespace tavo::nic {

// Profiles exist on Moravel (and unknown) controllers only.
enum class ProfileSupport {
  Supported,
  Unreadable,    // get_cv_type answered 1 (status 163 set)
  NotSupported,  // CV2, CV3, Galtor
};
ProfileSupport profile_support(TavoNode* controller);
// A value of the profile groups where profiles do not apply: false with
// *result the handler's answer (an unreadable generation 1; on CV2, CV3 and
// Galtor a read makes the property's value elsewhere, answered into buf,
// 0, and a write is refused with status 259, 1).
bool profiles_apply(TavoNode* controller, TavoNode* property, uint32_t op, const char* elsewhere, char* buf,
                    uint32_t* result);

// ProfileManagement of the controller and its two views; null members
// where they are missing.
using port::ProfileGroups;
using port::profile_groups;

// The text of a multi-channel type code as a port descriptor shows it;
// null for a code without a name (9, above 10).
const char* mc_type_shown(uint32_t code);
// The code of a name (case ignored): "None" 1, "UMC" 2 ... "HPUMC" 10;
// 0 for any other text.
uint8_t mc_type_code(const char* name);
// The code a configured port's MCType text is saved as: the code of its
// name, or the number a code without a name is shown as ("9"); 0 for any
// other text.
uint8_t mc_type_saved_code(const char* text);
// The spelling of a name as users give it ("HPFlex"); null for none.
const char* mc_type_spelling(const char* name);
// Whether name (case ignored) is one of the whole names of supported, a
// SupportedMCTypes text ("vNIC2,NPAR,HPUMC"): "UMC" is not "HPUMC".
bool mc_type_supported(const char* supported, const char* name);

// Protocol names of a descriptor type (81-84), and the pf_type code a
// Protocol text is saved as (case ignored): NIC 1, iSCSI 2, FCoE 4, RoCE
// and NIC+RoCE 8, anything else 15 (the function switched off).
const char* protocol_of_descriptor(uint8_t type);
inline constexpr uint8_t kProtocolOff = 15;
uint8_t protocol_code(const char* name);
// The canonical spelling of a Protocol a user may give; null for a text
// that is none of them.
const char* protocol_spelling(const char* name);

// SRIOVState of a configured Function written as a client's write does
// (its config_prof.txt line and stored value), or where that is refused
// its stored value alone; false when config_prof.txt could not be saved
// (the reason in the last status).
bool set_configured_sriov(TavoNode* function, const char* value);

// The controller's configured view again: its Port instances purged and
// rebuilt (with the controller's config_prof.txt lines); 0 or 1.
uint32_t rebuild_configured_view(TavoNode* controller);
// A change of the adapter that its configured view shows after it: send
// (0 when the adapter took the change), then the view rebuilt, all under
// config_prof.txt's lock (CprofHold), taken before the adapter hears of
// it. A lock that cannot be had sends nothing and fails with the save's
// status; a send that fails answers 1 with nic status refused.
uint32_t change_and_rebuild(TavoNode* controller, uint32_t refused, const std::function<uint32_t()>& send);

// A PF number as "0x%x" into out.
void pf_text(uint32_t pf, char out[TAVO_VALUE_SIZE]);
// The instances of child under group in number order.
std::vector<TavoNode*> instances_of(TavoNode* group, const char* child);

// A number as the tree took it (automatic base), cut to its low 8 bits by
// the caller; false for no such number.
bool parse_id(const char* text, long long* out);

// config_prof.txt (port/config_prof.h).
using port::controller_lines;
using port::ControllerLines;
using port::CprofChange;
using port::CprofEdit;
using port::CprofHold;
using port::cprof_edits_lost;
using port::cprof_replace;
using port::cprof_rewrite;

}  // namespace tavo::nic

