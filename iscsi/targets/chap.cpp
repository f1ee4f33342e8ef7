// CHAP of the initiator, a send-target portal or a target: one handler of
// each action serves the three Authentication groups and tells them apart
// by the login-options group above. The values, and the lines of a
// target's sessions persisted again with them, reach the owner's file in
// one write.
#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <array>

#include "base/library_lock.h"
#include "iscsi/network/network.h"
#include "iscsi/common/software_initiator.h"
#include "iscsi/target_data/login_sets.h"
#include "iscsi/common/record_reads.h"
#include "iscsi/targets/targets_internal.h"
#include "transport/glob.h"

using namespace tavo::targets;

namespace {

constexpr uint32_t kNotice137 = 137;

enum class Owner { Initiator, Portal, Target, None };

Owner chap_owner(TavoNode* authentication) {
  TavoNode* options = authentication != nullptr ? authentication->parent : nullptr;
  if (options == nullptr || options->name == nullptr) return Owner::None;
  if (strcmp(options->name, "InitiatorLoginOptions") == 0) return Owner::Initiator;
  if (strcmp(options->name, "SendTargetPortalLoginOptions") == 0) return Owner::Portal;
  if (strcmp(options->name, "TargetLoginOptions") == 0) return Owner::Target;
  return Owner::None;
}

// A secret as text (12 to 16 characters) or "0x" and 24 to 32 hexadecimal
// digits, an even number; false with status 8 or 6 otherwise.
bool chap_secret_ok(const char* secret, const char* name) {
  const size_t length = strlen(secret);
  if (length < 2 || secret[0] != '0' || tolower(static_cast<unsigned char>(secret[1])) != 'x') {
    if (length >= 12 && length <= 16) return true;
    tavo::tree::validation_status(TAVO_BAD_LENGTH, name, 12, 16);
    return false;
  }
  if (length < 26 || length > 34) {
    tavo::tree::validation_status(TAVO_BAD_LENGTH, name, 24, 32);  // the digits, without "0x"
    return false;
  }
  for (size_t i = 2; i < length; ++i)
    if (!isxdigit(static_cast<unsigned char>(secret[i]))) {
      tavo::tree::kHexDigitsOnly.set();
      return false;
    }
  if ((length - 2) % 2 != 0) {
    tavo::targets::kOddSecret.set();
    return false;
  }
  return true;
}

// The checks of ConfigureCHAP, in their order; the notice of ignored
// initiator values is left when all pass.
bool chap_values_ok(const char* method, const char* initiator_name, const char* initiator_secret,
                    const char* target_secret) {
  const bool mutual = is_word(method, "Mutual CHAP"), one_way = is_word(method, "One-Way CHAP");
  if (mutual && (initiator_name[0] == '\0' || initiator_secret[0] == '\0')) {
    targets_status(138);
    return false;
  }
  if ((mutual || one_way) && !chap_secret_ok(target_secret, "TargetSecret")) return false;
  const bool ignored = one_way && (initiator_name[0] != '\0' || initiator_secret[0] != '\0');
  if (mutual && !chap_secret_ok(initiator_secret, "InitiatorSecret")) return false;
  if (strcmp(initiator_secret, target_secret) == 0) {
    targets_status(38);
    return false;
  }
  if (ignored) targets_status(kNotice137);
  return true;
}

// The values written to the owner's lines, then stored in the group; a
// target's closed sessions are persisted again with them. The owner's file
// is written once, with the sessions' lines: when the change fails the
// group takes the file's values back.
uint32_t chap_apply(SavedBatch& batch, TavoNode* authentication, Owner owner, std::span<const OptionChange> changes) {
  TavoNode* options = authentication->parent;
  const auto write = [&] { return owner != Owner::None ? write_options(options, changes) : 0u; };
  if (save_option_change(batch, owner == Owner::Target ? options->parent : nullptr, write) != 0) {
    tavo::iscsi::keeping_last_status([&] { reload_option_set(options); });
    return 1;
  }
  uint32_t stored = 0;
  for (const OptionChange& c : changes) stored |= set_prop_val(authentication, c.option, "%s", c.value);
  return owner == Owner::None ? stored : 0;
}

void chap_software_initiator(Owner owner, TavoNode* authentication, bool configure) {
  if (!OPEN_ISCSI_DRIVER_LOADED || (owner != Owner::Portal && owner != Owner::Target)) return;
  TavoNode* owner_node = authentication->parent->parent;
  if (configure)
    TAVO_op_configure_chap(owner_node);
  else
    TAVO_op_delete_chap(owner_node);
}

uint32_t configure_chap(TavoNode* authentication, char* params, SavedBatch& batch) {
  if (authentication == nullptr || authentication->parent == nullptr || params == nullptr) return 1;
  const char* method = param(params, 0);
  const char* initiator_name = param(params, 1);
  const char* initiator_secret = param(params, 2);
  const char* target_name = param(params, 3);
  const char* target_secret = param(params, 4);
  const char* level = param(params, 5);
  if (!chap_values_ok(method, initiator_name, initiator_secret, target_secret)) return 1;
  const Owner owner = chap_owner(authentication);
  chap_software_initiator(owner, authentication, true);
  const bool mutual = is_word(method, "Mutual CHAP"), chap = mutual || is_word(method, "One-Way CHAP");
  // CHAP just configured is used at login unless a level says otherwise.
  if (level[0] == '\0') level = chap ? "Required" : "Prohibited";
  if (!chap) return chap_apply(batch, authentication, owner, std::array{OptionChange{"CHAPParam", level}});
  const std::array<OptionChange, 6> changes = {{
      {"CHAPParam", level},
      {"AuthenticationMethod", method},
      {"TargetCHAPName", target_name},
      {"TargetSecret", target_secret},
      {"InitiatorCHAPName", mutual ? initiator_name : ""},
      {"InitiatorSecret", mutual ? initiator_secret : ""},
  }};
  return chap_apply(batch, authentication, owner, changes);
}

uint32_t delete_chap(TavoNode* authentication, SavedBatch& batch) {
  if (authentication == nullptr || authentication->parent == nullptr) return 1;
  const Owner owner = chap_owner(authentication);
  chap_software_initiator(owner, authentication, false);
  const std::array<OptionChange, 6> changes = {{
      {"AuthenticationMethod", "None"},
      {"InitiatorCHAPName", ""},
      {"InitiatorSecret", ""},
      {"TargetCHAPName", ""},
      {"TargetSecret", ""},
      {"CHAPParam", "Prohibited"},
  }};
  return chap_apply(batch, authentication, owner, changes);
}

}  // namespace

uint32_t do_ConfigureCHAP(TavoNode* authentication, TavoNode*, char* params) {
  TAVO_LIBRARY_LOCK;
  tavo::iscsi::ReadScope reads;  // each session and name block read once
  SavedBatch batch;
  return batch.end(configure_chap(authentication, params, batch));
}

uint32_t do_DeleteCHAP(TavoNode* authentication, TavoNode*, char*) {
  TAVO_LIBRARY_LOCK;
  tavo::iscsi::ReadScope reads;  // as ConfigureCHAP's
  SavedBatch batch;
  return batch.end(delete_chap(authentication, batch));
}
