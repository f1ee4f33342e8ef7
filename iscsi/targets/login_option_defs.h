// The rows the three login-option groups share (initiator, send-target
// portal, target): six options, an Authentication group with six CHAP
// values and the CHAP actions, and the CHAP parameter table.
#pragma once

#include <array>

#include "iscsi/common/help_texts.h"
#include "iscsi/targets/targets.h"
#include "tree/declare.h"

namespace tavo::targets::defs {

using namespace tavo::declare;

using iscsi::kInstanceHelp;

inline constexpr char kYesNo[] = "Yes,No";
inline constexpr char kDigests[] = "None,CRC32C";
inline constexpr char kDigestLevels[] = "Prohibited,Preferred";

inline constexpr char kInitialR2THelp[] =
    "This property indicates whether the initiator waits for the target to solicit data. Yes: the initiator waits for "
    "an R2T before it sends data; No: it may send FirstBurstLength bytes unsolicited. The default is Yes.";
inline constexpr char kImmediateDataHelp[] =
    "This property indicates whether the initiator may append unsolicited data to a command. The default is Yes.";
inline constexpr char kHeaderDigestHelp[] =
    "This property indicates whether a CRC32C digest protects the header of each PDU. The default is None.";
inline constexpr char kDataDigestHelp[] =
    "This property indicates whether a CRC32C digest protects the data segment of each PDU. The default is None.";

// The six options of a login-options group, then its Authentication group.
constexpr std::array<ChildDef, 7> login_option_rows(TavoPropertyHandler handler, const GroupDef* authentication) {
  return {{
      property("InitialR2T", RO, LIST, kYesNo, 0, 3, "Yes", handler, kInitialR2THelp),
      property("ImmediateData", RW, LIST, kYesNo, 0, 3, "Yes", handler, kImmediateDataHelp),
      property("HeaderDigest", RW, LIST, kDigests, 4, 6, "None", handler, kHeaderDigestHelp),
      property("DataDigest", RW, LIST, kDigests, 4, 6, "None", handler, kDataDigestHelp),
      property("HeaderParam", RW, LIST, kDigestLevels, 9, 10, "Prohibited", handler,
               "This property sets the header digest level at login. This property can be set to Preferred only if the "
               "HeaderDigest is set to a non default value."),
      property("DataParam", RW, LIST, kDigestLevels, 9, 10, "Prohibited", handler,
               "This property sets the data digest level at login. This property can be set to Preferred only if the "
               "DataDigest is set to a non default value."),
      subgroup(authentication),
  }};
}

// The handlers of the six CHAP values of an Authentication group.
struct AuthenticationHandlers {
  TavoPropertyHandler method, initiator_name, initiator_secret, target_name, target_secret, chap_param;
};

inline constexpr char kInitiatorSecretHelp[] =
    "This property displays the initiator's CHAP secret as plain text; it is needed only for Mutual CHAP. The "
    "InitiatorSecret can be in string or hex format. If in string format, it must be at least 12 but not more than 16 "
    "bytes long where 1 character equals 1 byte. If in hex format, it must be at least 12 but not more than 16 bytes "
    "long where 2 characters equals 1 byte, excluding 0x.";
inline constexpr char kTargetSecretHelp[] =
    "This property displays the target's CHAP secret as plain text; it is required for One-Way and Mutual CHAP. The "
    "TargetSecret can be in string or hex format. If in string format, it must be at least 12 but not more than 16 "
    "bytes long where 1 character equals 1 byte. If in hex format, it must be at least 12 but not more than 16 bytes "
    "long where 2 characters equals 1 byte, excluding 0x.";
inline constexpr char kCHAPParamHelp[] =
    "This property displays the CHAP level at login. Prohibited indicates there is no CHAP configured - None always. "
    "Discouraged indicates priority at login using None first and then using CHAP. Preferred indicates priority at "
    "login using CHAP first and then using None. Required indicates login using any CHAP authentication given by the "
    "user.";

// The Authentication group's values (read-only: the CHAP actions change
// them) and its two actions' rows.
constexpr std::array<ChildDef, 8> authentication_rows(AuthenticationHandlers h, ChildDef configure, ChildDef remove) {
  return {{
      property("AuthenticationMethod", RO, LIST, "None,Mutual CHAP,One-Way CHAP", 4, 12, "None", h.method,
               "This property displays the authentication method. None is the default."),
      property(
          "InitiatorCHAPName", RO, TEXT, "", 1, 256, "", h.initiator_name,
          "This property displays the initiator's CHAP name sent to the target; it is needed only for Mutual CHAP."),
      property("InitiatorSecret", RO, TEXT, "", 12, 34, "", h.initiator_secret, kInitiatorSecretHelp),
      property("TargetCHAPName", RO, TEXT, "", 1, 256, "", h.target_name,
               "This property displays the target's CHAP name; it is required for One-Way and Mutual CHAP."),
      property("TargetSecret", RO, TEXT, "", 12, 34, "", h.target_secret, kTargetSecretHelp),
      property("CHAPParam", RO, LIST, "Prohibited,Discouraged,Preferred,Required", 4, 11, "Prohibited", h.chap_param,
               kCHAPParamHelp),
      configure,
      remove,
  }};
}

// Every Authentication group's ConfigureCHAP and DeleteCHAP, each file
// declaring its own pair under its group's path.
inline constexpr char kConfigureChapHelp[] = "This command enables CHAP for the iSCSI initiator.";
inline constexpr char kDeleteChapHelp[] = "This command deletes CHAP for the iSCSI initiator.";
// The parameters of every ConfigureCHAP: method, the initiator's name and
// secret (Mutual CHAP), the target's name and secret, the CHAP level.
inline constexpr std::array<TavoActionParam, 6> kChapParameters = {
    required("AuthenticationMethod", LIST, "Mutual CHAP,One-Way CHAP", 4, 12,
             "This parameter specifies the authentication method."),
    optional("InitiatorCHAPName", TEXT, "", 0, 256,
             "This parameter specifies the initiator's CHAP name; only for Mutual CHAP."),
    optional("InitiatorSecret", TEXT, "", 0, 256,
             "This parameter specifies the initiator's CHAP secret; only for Mutual CHAP. The InitiatorSecret can be "
             "in string or hex format. If in string format, it must be at least 12 but not more than 16 bytes long "
             "where 1 character equals 1 byte. If in hex format, it must be at least 12 but not more than 16 bytes "
             "long where 2 characters equals 1 byte, excluding 0x."),
    required("TargetCHAPName", TEXT, "", 1, 256, "This parameter specifies the target's CHAP name."),
    required("TargetSecret", TEXT, "", 12, 34,
             "This parameter specifies the target's CHAP secret. The TargetSecret can be in string or hex format. If "
             "in string format, it must be at least 12 but not more than 16 bytes long where 1 character equals 1 "
             "byte. If in hex format, it must be at least 12 but not more than 16 bytes long where 2 characters equals "
             "1 byte, excluding 0x."),
    optional("CHAPParam", LIST, "Discouraged,Preferred,Required", 4, 11,
             "This parameter specifies the CHAP level. Valid values are: Discouraged, Preferred and Required.")};

}  // namespace tavo::targets::defs
