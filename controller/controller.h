// Controller management: the Corvane branch, the controller's generation
// and the attributes the enumeration fills in from the firmware, its
// versions, status and settings, VPD and OEM data.
#pragma once

#include <stdint.h>

#include <memory>

#include "transport/firmware_records.h"
#include "transport/profile_records.h"
#include "tree/group_builder.h"
#include "tree/handler_context.h"
#include "tree/status_texts.h"
#include "tree/tree.h"

TAVO_BEGIN_DECLS

// Generation codes of get_cv_type beyond those of transport/device_ids.h.
enum { TAVO_GENERATION_UNREADABLE = 1 };

// --- generation, identity and PCI data ---

// The generation of the controller's first iSCSI, else NIC, function by
// its PCI device ID: 2-5, 0xFFFF for an unknown ID, 1 (status 163) when no
// ID can be read.
TAVO_EXPORT uint32_t get_cv_type(TavoNode* controller);
// Subsystem device IDs of one server maker, read up to the first 0.
TAVO_EXPORT extern const uint16_t DellSupportedPciSubSysDevIdTable[];
// The controller's iSCSIPhysicalHBA, else NICPhysicalHBA, instance whose
// PortNumber reads port_text (case ignored): the function that serves that
// port. NULL for none, or when a PortNumber cannot be read.
TAVO_EXPORT TavoNode* get_valid_phba(TavoNode* controller, const char* port_text);
// 0 when the SubsysDeviceID of the controller's first iSCSI, else NIC,
// function is in DellSupportedPciSubSysDevIdTable, else 1.
TAVO_EXPORT uint32_t TAVO_DetermineIfDellSystem(TavoNode* controller);

// Reads the attributes (mailbox 32/1) of a function through transport 1
// (iSCSI) or 2 (NIC) into *block; 0, or 1 with status 109.
TAVO_EXPORT uint32_t TAVO_get_cntr_attribs(uint32_t function_number, uint8_t port_number, uint8_t domain,
                                           uint32_t transport, tavo::ControllerAttributes* block);
// The controller's identity properties from a block read with status 0;
// 1 when status is not 0, an argument is missing or a property failed.
TAVO_EXPORT uint32_t TAVO_update_cntr_attribs(TavoNode* controller, const tavo::ControllerAttributes* block,
                                              uint32_t status);
// A function group's PCI, port and driver properties (protocol 1 iSCSI,
// 2 NIC); 0, or 1 when the driver version was not set.
TAVO_EXPORT uint32_t TAVO_update_driver_attribs(uint32_t function_number, TavoNode* function_group,
                                                uint32_t protocol, const tavo::ControllerAttributes* block,
                                                uint32_t status);
// The function's PCI address texts: domain[35], bus, device and
// pci_function[256] as "0x%x" ("0x%04x" for the domain), serial[33]. From
// the block when status is 0, else (protocol 2 only) from the NIC function
// table with serial "0". 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_pci_bdf(uint32_t function_number, char* domain, char* bus, char* device,
                                      char* pci_function, char* serial, uint32_t protocol,
                                      const tavo::ControllerAttributes* block, uint32_t status);
// IfName of a NIC function's group from tavo_glob.if_names[function_number
// - 1]; 0, or 1 for a missing property or a number outside the table.
TAVO_EXPORT uint32_t TAVO_update_nic_ifname(TavoNode* function_group, uint32_t function_number);
// Empty hook where a NIC function's port number would be refreshed.
TAVO_EXPORT uint32_t TAVO_update_nic_port_number(void);
TAVO_EXPORT uint32_t TAVO_get_driver_name(TavoNode* function_group, uint32_t function_number, uint32_t protocol);
TAVO_EXPORT uint32_t TAVO_get_driver_version(TavoNode* function_group, uint32_t function_number, uint32_t protocol,
                                             const tavo::ControllerAttributes* block, uint32_t status);
// A fresh attribute read of the group's iSCSI function: bus, device,
// pci_function and port as "%d" (each at least 4 bytes); answers the
// logical HBA count, or 1 when the read fails.
TAVO_EXPORT uint32_t get_lhba_count(TavoNode* function_group, char* bus, char* device, char* pci_function,
                                    char* port);

// Serial numbers that tell adapters apart. text: 256 bytes.
// BusNumber of the PCI group of the controller's first iSCSI, else NIC,
// function; 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_pci_bus_number(TavoNode* controller, char* text);
// The SerialNumber of the controller above node, or its PCI bus number when
// the serial is empty or "N/A"; 0 or 1.
TAVO_EXPORT uint32_t TAVO_get_asic_serial_number(TavoNode* node, char* text);
// Appends each controller's serial (as above) to texts, 256 bytes an entry,
// from entry *count on; *count grows by one per controller, so texts must
// have room for *count + 16 entries. 0; 1 without controllers or when one
// has neither.
TAVO_EXPORT int32_t TAVO_enumerate_serial_numbers(int32_t* count, char* texts);

// The PCI Express link speed ("8.0GT/s") or, for any other property name,
// width ("x8") into text[256], read through function n of group (an
// iSCSIPhysicalHBA or NICPhysicalHBA; on Galtor a NIC function). 0, or 1
// with status 121.
TAVO_EXPORT uint32_t TAVO_get_pci_express_data(uint32_t function_number, uint8_t domain, uint8_t port_number,
                                               uint32_t generation, TavoNode* function_group,
                                               const char* property_name, char* text);

// --- property handlers of the Corvane group and its sub-groups ---
TAVO_EXPORT uint32_t handle_PCIExpressLinkSpeed(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_PCIExpressBusWidth(TavoNode* property, char* buf, uint32_t op);
// DomainNumber of an iSCSIPhysicalHBA's PCI group, from esx.conf by the
// vmhba name in LogicalHBA0's IfName.
TAVO_EXPORT uint32_t handle_DomainNumber(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_cv_controller_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_cv_controller_additional_properties(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_cv_temperature(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ControllerStatus(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_FFVName(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_AdvancedMode(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_OneView(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_IsSecureJumperEnabled(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_fru_vpd_data(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_PortControllerName(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ControllerType(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ProtocolSupported(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_MaxSupportedController(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_get_ncsi_version(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_RebootRequired(TavoNode* property, char* buf, uint32_t op);
TAVO_EXPORT uint32_t handle_ConfiguredPersonality(TavoNode* property, char* buf, uint32_t op);
// NCSISupport, NCSICVHandShake and the static configuration: a fresh
// reading of the NC-SI attributes, then the stored value.
TAVO_EXPORT uint32_t handle_ncsi_static_configuration(TavoNode* property, char* buf, uint32_t op);
// The dynamic configuration: read as above; a write goes to the firmware
// (status 145 while NCSISupport is not "Supported").
TAVO_EXPORT uint32_t handle_ncsi_dynamic_configuration(TavoNode* property, char* buf, uint32_t op);

// "N/A" into text[256]: this host has no secure-jumper query. 0, or 1
// without text.
TAVO_EXPORT uint32_t TAVO_get_secure_jumper_state(uint32_t port_number, char* text);
// Byte 5 of NIC function n's MTU record as "%d" into node's
// PHYLinkDownReason; 0, or 1 when the request fails.
TAVO_EXPORT uint32_t TAVO_get_over_temperature(TavoNode* node, uint32_t nic_function);

// --- VPD ---
// Both FRU VPD blocks into FRUVPDData0-10 of group; data type 0 block zero
// (FRUVPDData0-8), 1 block one (FRUVPDData9-10). 0 or 1.
TAVO_EXPORT uint32_t TAVO_read_FRU_VPD(uint32_t offset, uint32_t size, uint32_t data_type, TavoNode* fru_group,
                                       TavoNode* controller);
// The function's VPD into VPDData0-8 of its VPD group (transport 1 iSCSI,
// 2 NIC); 0, or the failing command's status (1 for anything else).
TAVO_EXPORT uint32_t TAVO_update_vpd_data(TavoNode* function_group, uint32_t function_number, uint32_t transport);
// The same reading for a VPD group and PF number the caller gives.
TAVO_EXPORT uint32_t get_vpd_data(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vpd_group,
                                  uint32_t transport, uint16_t pf_number);

// --- loaders run for each live controller at start-up ---
TAVO_EXPORT uint32_t TAVO_update_oem_props(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_update_cntr_additional_attribs(TavoNode* controller);
// The NC-SI attributes (86/1) into the NCSI group and, on CV2, into the
// instance name_node names (create: build the instances when missing); the
// first three arguments and domain are not used. 0, 1, or the failed
// command's status.
TAVO_EXPORT uint32_t TAVO_get_ncsi_attributes(int32_t function_number, int32_t phba_port, TavoNode* ncsi,
                                              TavoNode* name_node, uint32_t domain, uint32_t create);
// AvailablePersonalities and CurrentPersonality of the Personality group;
// 0 or 1.
TAVO_EXPORT uint32_t TAVO_update_available_personalities(TavoNode* controller);
TAVO_EXPORT uint32_t TAVO_update_current_personality(TavoNode* controller);

// --- NC-SI configuration ---
// The CV2 instances under the NCSI group (one each, numbered 0).
TAVO_EXPORT TavoNode* initialize_NCSIStaticConfiguration(TavoNode* parent, TavoNode* creating_node,
                                                         TavoNode* creating_action, char* params);
TAVO_EXPORT TavoNode* initialize_NCSIDynamicConfiguration(TavoNode* parent, TavoNode* creating_node,
                                                          TavoNode* creating_action, char* params);
// Writes one dynamic property (by name) with 87/1, every other byte of the
// dynamic block as read; the port arguments and domain are not used. 0,
// 1 (status 17 for a value that is no valid MAC, flag or VLAN), or the
// failed command's status (219 for the write).
TAVO_EXPORT uint32_t set_ncsi_attributes(int32_t function_number, int32_t phba_port, const char* property_name,
                                         TavoNode* ncsi, uint32_t domain, const char* value);

// --- personality ---
// Modes of TAVO_get_storage_functions: a storage function without a valid
// protocol counts (as NIC) only when setting.
enum { TAVO_STORAGE_READING = 0, TAVO_STORAGE_SETTING = 1, TAVO_MAX_STORAGE_FUNCTIONS = 8 };
// port_number is the function number of the controller's target function.
// The storage functions of the active profile configuration into *count
// and the two arrays (TAVO_MAX_STORAGE_FUNCTIONS each): 0; 213 when the
// firmware lacks the command, 288 when the profile path does not apply;
// 1 (status 16) without memory.
TAVO_EXPORT uint32_t TAVO_get_storage_functions(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                                TavoNode* controller, uint32_t* count, uint32_t* pf_numbers,
                                                uint32_t* protocol_types, uint32_t mode);
// CurrentPersonality of the Personality group from the storage functions:
// 0, 1, 213 or 288 (the last two: take the legacy path).
TAVO_EXPORT uint32_t TAVO_get_adapter_current_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                                          TavoNode* controller, TavoNode* personality);
// The same from the legacy controller configuration (CV2, CV3) or the
// common profile (Galtor); 0 or 1 (status 140).
TAVO_EXPORT uint32_t TAVO_get_legacy_adapter_current_personality(uint32_t port_number, uint8_t domain,
                                                                 uint8_t phba_port, TavoNode* controller,
                                                                 TavoNode* personality);
// Writes "NIC", "iSCSI" or "FCoE" (any case) as the protocol of every
// storage function: 0, 213 (take the legacy path) or 1 with the status.
TAVO_EXPORT uint32_t TAVO_set_adapter_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                                  TavoNode* controller, const char* personality);
TAVO_EXPORT uint32_t TAVO_set_legacy_adapter_personality(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                                         TavoNode* controller, const char* personality);

// --- profile configuration ---
// The controller's profile configuration (config type 0 configured, 1 the
// profile named by profile_id, 2 active; readback non-zero sets the
// readback flag), read through its first iSCSI, else NIC, function. A new
// buffer the caller frees with tavo_dfree; NULL without a controller or
// function, or with status 16 or 278.
TAVO_EXPORT tavo::ProfileConfigBuffer* TAVO_get_profile(TavoNode* controller, uint8_t config_type,
                                                        uint8_t profile_id, uint8_t readback);

// --- NIC region, factory reset and erase ---
// The NIC region object of a port's partition (1 the first), header and
// records, in a new buffer of at least 16 + its length field bytes that
// the caller frees with tavo_dfree; NULL when it cannot be read whole.
TAVO_EXPORT uint8_t* TAVO_read_nic_region(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                          uint32_t name_port, uint32_t partition);
// Writes 16 + the header's length field bytes of region back in one
// chunk: 0, the command's status, or 1 (no region, too long).
TAVO_EXPORT uint32_t TAVO_write_nic_region(uint32_t port_number, uint8_t domain, uint8_t phba_port,
                                           uint32_t name_port, uint32_t partition, const uint8_t* region);
// Erases a NIC function's NIC settings (7/1, region 14): 0 (status 184),
// 55 (status 239, reboot now) or the command's status (188).
TAVO_EXPORT uint32_t TAVO_EraseNICConfiguration(TavoNode* function_group);
TAVO_EXPORT uint32_t do_EraseNICConfiguration(TavoNode* group, TavoNode* action, char* params);

// --- actions of the Corvane group (params: six 256-byte texts) ---
TAVO_EXPORT uint32_t do_SetPersonality(TavoNode* group, TavoNode* action, char* params);
TAVO_EXPORT uint32_t do_ResetFactoryDefaults(TavoNode* group, TavoNode* action, char* params);

TAVO_END_DECLS

#ifdef __cplusplus
namespace tavo::controller {

// The controller's NICPhysicalHBA instance of PCI function 0 (FunctionNumber
// read as a number; *found set when given), else its first one; null when
// it has none or an instance without a PCI group comes first (*broken is
// then set).
TavoNode* nic_function_zero(TavoNode* controller, bool* broken, bool* found = nullptr);
// The transport of the controller's protocol bits (1 iSCSI, 2 NIC, 3-4 none).
uint32_t controller_transport(TavoNode* controller);
// The controller's instance number as the commands' controller argument.
uint32_t controller_instance(TavoNode* controller);
// The refusal inside an SR-IOV virtual function: "N/A" into buf when
// given, status 256; 1.
uint32_t refuse_on_vf(char* buf);
// Stores value as the property's text and copies the stored text into
// buf[256]; 0.
uint32_t store_and_answer(TavoNode* property, const char* value, char* buf);
// A value that does not apply on this controller, generation or function:
// a read stores shown and answers it (0); a write changes nothing and
// fails with status refusal (259 or 291, as the branch words it), 1.
uint32_t not_applicable_here(TavoNode* property, char* buf, uint32_t op, uint32_t refusal,
                             const char* shown = "N/A");
// A firmware text field as a property of group, never read past the field;
// true when stored.
bool store_field(TavoNode* group, const char* name, const char* field, size_t size);
// ActiveFirmwareVersion, FirmwareVersionOnFlash, BIOSVersion,
// BootCodeVersion and FirmwareStatus from the attributes; true when all
// were stored.
bool store_firmware_versions(TavoNode* controller, const tavo::ControllerAttributes& block);
// The answers that send the personality to its legacy path: the firmware
// lacks the version-1 command, or the profile path does not apply.
inline constexpr uint32_t kVersionNotSupported = 213;
inline constexpr uint32_t kPathNotApplicable = 288;
// Personality names of the protocol bits ("Illegal" for any other), and
// back (0 for a name that is none of them, case ignored).
const char* personality_name(uint32_t protocol);
uint8_t personality_protocol(const char* name);
// Status 151 (the firmware refused the change, or no storage function); 1.
inline constexpr uint32_t kPersonalityRefused = 151;
uint32_t personality_refused();

// A profile configuration as the firmware answered it, shared with every
// other reader of the same question in the read scope.
using SharedProfile = std::shared_ptr<const ProfileConfigBuffer>;

// The profile configuration of config_type (and profile_id, readback as
// TAVO_get_profile takes them) read through the function fn names on
// transport. Empty when it could not be read: a refused read leaves its
// result in *status and no status of its own, and a debug line under the
// name logged_as (none for null).
SharedProfile read_profile(const tree::HandlerContext& fn, uint32_t transport, uint8_t config_type, uint8_t profile_id,
                           uint8_t readback, uint32_t* status, const char* logged_as = "read_profile");
// TAVO_get_profile's answer, shared rather than copied: null with the
// status it leaves (278, none for a refusal with status 16).
SharedProfile controller_profile(TavoNode* controller, uint8_t config_type, uint8_t profile_id, uint8_t readback);

// The Port instance of a profile view (built from the configuration of
// config_type as TAVO_get_profile reads it) that stands for the port with
// link number link. The view's instances follow the configuration's port descriptors
// in their order, whatever their link numbers; null when the configuration
// cannot be read or no port descriptor carries that link.
TavoNode* profile_port_of_link(TavoNode* controller, TavoNode* view, uint8_t config_type, uint32_t link);

// Leaves code with its registered text (base/status_registry.h) in the last
// status.
void controller_status(uint32_t code);

// The calling thread's last status, kept to be put back.
class SavedStatus {
 public:
  SavedStatus() { tavo_get_last_status(&code_, text_); }
  void restore() const { tavo_set_last_status(code_, text_); }

 private:
  uint32_t code_ = 0;
  char text_[TAVO_STATUS_TEXT_SIZE] = "";
};

// The first failure among independent steps that all run: its result and
// the last status it left.
class FirstFailure {
 public:
  void note(uint32_t result) {
    if (result == 0 || result_ != 0) return;
    result_ = result;
    status_ = SavedStatus();
  }
  // The first failure's result with its status put back, else 0.
  uint32_t finish() const {
    if (result_ != 0) status_.restore();
    return result_;
  }

 private:
  uint32_t result_ = 0;
  SavedStatus status_;
};

// The OEM record's Galtor rules: the maker's serial (byte 0 from 1 to 254)
// and the OEM serial (byte 12 not 255, byte 13 not 0) are usable.
bool galtor_maker_serial_usable(const tavo::OemParams& oem);
bool galtor_oem_serial_usable(const tavo::OemParams& oem);

}  // namespace tavo::controller
#endif
