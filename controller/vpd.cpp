// Vital product data shown as hexadecimal text: the controller's FRU VPD
// (mailbox 3/19, two blocks) and each function's VPD (mailbox 91/1), cut
// into pieces of 127 bytes so that each fits a property value.
#include <stdio.h>
#include <string.h>

#include "base/validate.h"
#include "controller/controller.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "transport/mailbox.h"

namespace {

constexpr size_t kPieceBytes = 127;
constexpr size_t kBlockZeroPieces = 9;
constexpr size_t kBlockOnePieces = 2;

// Stores the pieces of a 1,024-byte answer as <prefix><first> onward:
// piece i holds bytes 127 x i on, the last piece runs to the answer's end,
// each text cut at 255 characters. True when all were stored.
bool vpd_store_pieces(TavoNode* group, const char* prefix, size_t first, size_t count, const uint8_t* data,
                      size_t size) {
  bool ok = true;
  for (size_t i = 0; i < count; ++i) {
    const size_t start = kPieceBytes * i;
    const size_t end = i + 1 == count ? size : start + kPieceBytes;
    char text[TAVO_VALUE_SIZE] = "";
    size_t used = 0;
    for (size_t b = start; b < end && used < sizeof text - 1; ++b) {
      static constexpr char kDigits[] = "0123456789abcdef";
      text[used++] = kDigits[data[b] >> 4];
      if (used < sizeof text - 1) text[used++] = kDigits[data[b] & 0xF];
    }
    char name[TAVO_NAME_SIZE];
    snprintf(name, sizeof name, "%s%zu", prefix, first + i);
    ok &= set_prop_val(group, name, "%s", text) == 0;
  }
  return ok;
}

}  // namespace

uint32_t handle_fru_vpd_data(TavoNode* property, char* buf, uint32_t) {
  if (property == nullptr || buf == nullptr || property->parent == nullptr) return 1;
  if (vm_flag) return tavo::controller::refuse_on_vf(buf);
  TavoNode* group = property->parent;
  TavoNode* controller = group->parent;
  if (get_cv_type(controller) == TAVO_GENERATION_UNREADABLE) return 1;
  if (TAVO_read_FRU_VPD(0, tavo::kFruVpdPayload, 0, group, controller) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "Reading Block Zero Data Failed.\n");
    return 1;
  }
  if (TAVO_read_FRU_VPD(tavo::kFruVpdPayload, 256, 1, group, controller) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "Reading Block One Data Failed.\n");
    return 1;
  }
  return handle_internal_property(property, buf, TAVO_PROPERTY_GET);
}

uint32_t TAVO_read_FRU_VPD(uint32_t offset, uint32_t size, uint32_t data_type, TavoNode* fru_group,
                           TavoNode* controller) {
  if (fru_group == nullptr || controller == nullptr) return 1;
  const tavo::tree::HandlerContext fn = tavo::tree::handler_context(controller, tavo::tree::Commands::OfController);
  if (!fn) return 1;
  uint8_t data[tavo::kFruVpdPayload] = {};
  const tavo::FruVpdRequest request{size, offset};
  memcpy(data, &request, sizeof request);
  const uint32_t status = ioctl_read_fruvpd_data(fn.number, data, sizeof data, fn.domain, fn.port,
                                                 tavo::controller::controller_transport(controller));
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_read_fruvpd_data failed with status = %d.\n", __func__,
           static_cast<int>(status));
    return 1;
  }
  if (data_type == 0) vpd_store_pieces(fru_group, "FRUVPDData", 0, kBlockZeroPieces, data, sizeof data);
  else vpd_store_pieces(fru_group, "FRUVPDData", kBlockZeroPieces, kBlockOnePieces, data, sizeof data);
  return 0;
}

uint32_t get_vpd_data(uint32_t function_number, uint8_t domain, uint8_t port_number, TavoNode* vpd_group,
                      uint32_t transport, uint16_t pf_number) {
  if (vpd_group == nullptr) return 1;
  uint8_t data[tavo::kVpdPayload] = {};
  const tavo::VpdRequest request{pf_number, static_cast<uint8_t>(transport == TAVO_VIA_ISCSI ? 1 : 0)};
  memcpy(data, &request, sizeof request);
  const uint32_t status = ioctl_get_vpd_data(function_number, data, sizeof data, domain, port_number, transport);
  if (status != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:ioctl_get_vpd_data failed with status = %d.\n", __func__,
           static_cast<int>(status));
    return status;
  }
  vpd_store_pieces(vpd_group, "VPDData", 0, kBlockZeroPieces, data, tavo::kVpdData);
  return 0;
}

// The request names the function by the PCI function number its PCI group
// shows (read with automatic base), except for the fixed PFs of a CV2 NIC.
uint32_t TAVO_update_vpd_data(TavoNode* function_group, uint32_t function_number, uint32_t transport) {
  TavoNode* controller = function_group != nullptr ? function_group->parent : nullptr;
  if (controller == nullptr) return 1;
  const uint32_t generation = get_cv_type(controller);
  if (generation == TAVO_GENERATION_UNREADABLE) return 1;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(function_group);
  TavoNode* pci = internal_get_node(function_group, "PCI", TAVO_KIND_GROUP);
  TavoNode* vpd = internal_get_node(function_group, "VPD", TAVO_KIND_GROUP);
  char text[TAVO_VALUE_SIZE] = "";
  if (pci == nullptr || vpd == nullptr || internal_get_property(pci, "FunctionNumber", text) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: failed to get the PCI and VPD groups\n", __func__);
    return 1;
  }
  long long pf = -1;
  if (tavo::base::parse_number(text, &pf) != 0 || pf < 0 || pf > 0xFFFF) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: pf_num is invalid\n", __func__);
    return 1;
  }
  if (generation == tavo::kGenerationGaltor) {
    uint8_t data[tavo::kVpdPayload] = {};
    if (ioctl_get_galtor_vpd_data(function_number, data, sizeof data, c.domain, c.port, transport) == 0) {
      vpd_store_pieces(vpd, "VPDData", 0, kBlockZeroPieces, data, tavo::kVpdData);
      return 0;
    }
  }
  uint16_t pf_number = 0;
  if (transport == TAVO_VIA_NIC && generation == tavo::kGenerationCV2)
    pf_number = c.port == 0 ? 2 : c.port == 1 ? 3 : 0;
  else if (transport == TAVO_VIA_NIC || transport == TAVO_VIA_ISCSI)
    pf_number = static_cast<uint16_t>(pf);
  return get_vpd_data(function_number, c.domain, c.port, vpd, transport, pf_number);
}
