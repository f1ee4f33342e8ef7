// Firmware answers that start-up relies on: the controller attributes of a
// function (32/1), the management service (88/1), the OEM record (76/1),
// the core-dump properties with the chip state (21/11), the configuration
// signature (78/1, 79/1), and the queries that tell a virtual function
// (21/11, 58/1; 72/1 is the controller's), which refuse with 5/0 on a vf
// function.
#include <string.h>

#include <algorithm>
#include <string>

#include "ids/device_ids.h"
#include "simulator/responders.h"
#include "simulator/simulator.h"
#include "transport/firmware_records.h"

namespace tavo::sim {
namespace {

constexpr uint8_t kStatusNotSupported = 66;
constexpr uint8_t kStatusNotOnVf = 5;
constexpr uint32_t kCapabilities = 0x13;  // TCP offload, Raw Ethernet, iSCSI Initiator
constexpr char kFirmwareVersion[] = "11.1.0.0";

template <size_t N>
void backend_responder_text(char (&field)[N], const std::string& text) {
  memset(field, 0, N);
  memcpy(field, text.data(), std::min(N, text.size()));
}

// Copies a record into the answer; a request shorter than the record is
// refused, as the firmware would.
template <typename Record>
MailboxReply backend_responder_answer(MailboxCall& call, const Record& record) {
  if (call.payload.size() < sizeof record) return MailboxReply{kStatusNotSupported, 0, 0};
  memcpy(call.payload.data(), &record, sizeof record);
  return MailboxReply{};
}

bool backend_responder_known(const MailboxCall& call) { return call.function != nullptr && call.controller != nullptr; }

MailboxReply backend_responder_attributes(Simulator& sim, MailboxCall& call) {
  if (!backend_responder_known(call)) return MailboxReply{kStatusNotSupported, 0, 0};
  const SimController& c = *call.controller;
  const SimFunction& f = *call.function;
  ControllerAttributes a{};
  backend_responder_text(a.manufacturer, "Quorvel");
  a.capabilities = kCapabilities;
  a.default_eto = c.default_eto;
  const char* model = model_of(c.generation);
  backend_responder_text(a.model_number, model);
  backend_responder_text(a.description, std::string("Quorvel Tessmark ") + model + " converged network adapter");
  backend_responder_text(a.serial_number, c.serial);
  backend_responder_text(a.active_firmware_version, c.firmware_version);
  backend_responder_text(a.bios_version, kFirmwareVersion);
  backend_responder_text(a.boot_code_version, kFirmwareVersion);
  backend_responder_text(a.driver_version, kFirmwareVersion);
  backend_responder_text(a.flash_firmware_version, c.flash_firmware_version);
  a.max_cdb_length = 16;
  a.ldto = 20;
  a.iscsi_versions = 0x00;
  a.firmware_status = 0;
  a.logical_hba_count = 1;
  a.port_number = static_cast<uint8_t>(f.port);
  a.vendor_id = c.vendor_id;
  a.device_id = f.kind == FunctionKind::Nic ? c.nic_device_id : c.iscsi_device_id;
  a.subsys_vendor_id = c.vendor_id;
  a.subsys_device_id = a.device_id;
  a.bus = c.bus;
  a.device = c.device;
  a.function = f.pci_function;
  // PHY loopback is offered per port: the one the header names.
  const SimPort* port = find_port(sim.topology(), c.index, call.header.port_number);
  a.phy_loopback = port != nullptr && port->phy_loopback ? 1 : 0;
  return backend_responder_answer(call, a);
}

// The topology's OEM bytes, else a record made from the serial number: its
// first twelve characters, then "OEM" and the serial as the OEM's serial.
MailboxReply backend_responder_oem(Simulator&, MailboxCall& call) {
  if (!backend_responder_known(call)) return MailboxReply{kStatusNotSupported, 0, 0};
  const SimController& c = *call.controller;
  OemParams oem{};
  if (!c.oem.empty()) {
    memcpy(&oem, c.oem.data(), std::min(sizeof oem, c.oem.size()));
  } else {
    memcpy(oem.maker_serial, c.serial.data(), std::min(sizeof oem.maker_serial, c.serial.size()));
    const std::string serial = "OEM" + c.serial;
    memcpy(oem.oem_serial, serial.data(), std::min(sizeof oem.oem_serial, serial.size()));
    oem.personality_word = 0x7;
  }
  return backend_responder_answer(call, oem);
}

MailboxReply backend_responder_coredump(Simulator&, MailboxCall& call) {
  if (!backend_responder_known(call)) return MailboxReply{kStatusNotSupported, 0, 0};
  if (call.function->virtual_function) return MailboxReply{kStatusNotOnVf, 0, 0};
  return backend_responder_answer(call, coredump_properties(*call.controller));
}

// The firmware configuration of the function (with its controller's ASIC
// revision), also the query that tells a virtual function.
MailboxReply backend_responder_vf_probe(Simulator& sim, MailboxCall& call) {
  if (!backend_responder_known(call)) return MailboxReply{kStatusNotSupported, 0, 0};
  if (call.function->virtual_function) return MailboxReply{kStatusNotOnVf, 0, 0};
  if (call.header.opcode == 58) {
    FirmwareConfig config = sim.nic_state(*call.function).config;
    config.asic_revision = call.controller->asic_revision;
    fill_target_limits(*call.controller, &config);
    return backend_responder_answer(call, config);
  }
  return MailboxReply{};
}

constexpr char kSignatureObject[] = "/cfg/signature";

MailboxReply backend_responder_get_signature(Simulator& sim, MailboxCall& call) {
  if (!backend_responder_known(call)) return MailboxReply{kStatusNotSupported, 0, 0};
  ConfigSignature record{};
  const auto& objects = sim.flash(call.controller->index);
  auto it = objects.find(kSignatureObject);
  if (it != objects.end()) memcpy(&record, it->second.data(), std::min(sizeof record, it->second.size()));
  return backend_responder_answer(call, record);
}

MailboxReply backend_responder_set_signature(Simulator& sim, MailboxCall& call) {
  if (!backend_responder_known(call) || call.payload.size() < sizeof(ConfigSignature))
    return MailboxReply{kStatusNotSupported, 0, 0};
  sim.flash(call.controller->index)[kSignatureObject].assign(call.payload.begin(),
                                                              call.payload.begin() + sizeof(ConfigSignature));
  return MailboxReply{};
}

}  // namespace

const char* model_of(uint32_t generation) {
  for (const AdapterModel& row : kAdapterModels)
    if (row.generation == generation) return row.model;
  return kUnknownModel;
}

void install_backend_responders(Simulator& sim) {
  sim.on(1, 32, backend_responder_attributes);
  sim.on(1, 88, [](Simulator&, MailboxCall&) { return MailboxReply{}; });
  sim.on(1, 76, backend_responder_oem);
  sim.on(11, 21, backend_responder_coredump);
  sim.on(1, 58, backend_responder_vf_probe);
  sim.on(1, 78, backend_responder_get_signature);
  sim.on(1, 79, backend_responder_set_signature);
}

}  // namespace tavo::sim
