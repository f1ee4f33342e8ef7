// Diagnostic data a client asks for: the whole flash of a controller into
// a file (6/1 in 64,000-byte pieces), a function's PCI configuration bytes
// as hexadecimal text (72/1; Galtor's NIC functions through the NIC
// driver), and the output of a firmware command string into a file
// (24/11).
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "base/file_utils.h"
#include "base/validate.h"
#include "controller/controller.h"
#include "firmware/firmware.h"
#include "firmware/flash_internal.h"
#include "firmware/output_file.h"
#include "firmware/status_texts.h"
#include "transport/commands.h"
#include "transport/device_ids.h"
#include "transport/devices.h"
#include "transport/firmware_records.h"
#include "transport/glob.h"
#include "transport/log_records.h"
#include "transport/mailbox.h"
#include "tree/handler_context.h"

using tavo::firmware::set_status;

namespace {

constexpr uint32_t kPciConfigBytes = sizeof(tavo::PciConfigRead::data);
constexpr uint32_t kPciDumpStatus = 61;
constexpr uint32_t kPciDumpFailed = 121;
constexpr size_t kGaltorPciText = 600;

// The configuration bytes from offset on, count of them at most and none
// past the configuration space: "%02x " each, a line feed before the 17th,
// 33rd and 49th.
std::string pci_dump_text(const uint8_t* data, uint32_t offset, uint32_t count) {
  std::string text;
  char hex[4];
  for (uint32_t i = offset, written = 0; written < count && i < kPciConfigBytes; ++i, ++written) {
    if (written > 0 && written % 16 == 0) text += '\n';
    snprintf(hex, sizeof hex, "%02x ", data[i]);
    text += hex;
  }
  return text;
}

// RegisterOffset and Count, in any base; false when either is no number.
bool pci_dump_range(const char* params, uint32_t* offset, uint32_t* count) {
  long long o = 0, c = 0;
  if (tavo::base::parse_number(tavo::firmware::param_text(params, 0).c_str(), &o) != 0 ||
      tavo::base::parse_number(tavo::firmware::param_text(params, 1).c_str(), &c) != 0 || o < 0 ||
      o >= kPciConfigBytes || c < 0)
    return false;
  *offset = static_cast<uint32_t>(o);
  // What lies past the configuration space is never asked for.
  *count = static_cast<uint32_t>(std::min<long long>(c, kPciConfigBytes - o));
  return true;
}

// The dump of the action's own function through transport; the text is
// the last status (61).
uint32_t pci_dump(TavoNode* action, char* params, uint32_t transport, TavoNode* controller) {
  uint32_t offset = 0, count = 0;
  const tavo::tree::HandlerContext c = tavo::tree::handler_context(action);
  if (!c || !pci_dump_range(params, &offset, &count)) return 1;
  if (transport == TAVO_VIA_NIC && get_cv_type(controller) == tavo::kGenerationGaltor) {
    char text[kGaltorPciText] = "";
    if (TAVO_get_galtor_pci_data(c.number, offset, count, text) != 0) return 1;
    tavo_set_last_status(kPciDumpStatus, text);
    return 0;
  }
  tavo::PciConfigRead request{};
  request.offset = offset;
  request.length = count;
  if (ioctl_read_pci_conf(c.number, &request, c.domain, c.port, transport) != 0) {
    tavo::controller::controller_status(kPciDumpFailed);
    return 1;
  }
  tavo_set_last_status(kPciDumpStatus, pci_dump_text(request.data, offset, count).c_str());
  return 0;
}

}  // namespace

uint32_t do_DumpiSCSIPCIConfigRegion(TavoNode*, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  return pci_dump(action, params, TAVO_VIA_ISCSI, nullptr);
}

uint32_t do_DumpNICPCIConfigRegion(TavoNode* pci, TavoNode* action, char* params) {
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  TavoNode* controller = tavo::tree::handler_context(pci).controller;
  if (controller == nullptr) return 1;
  if (get_cv_type(controller) == TAVO_GENERATION_UNREADABLE) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: Failed to get the cv_type\n", __func__);
    return 1;
  }
  return pci_dump(action, params, TAVO_VIA_NIC, controller);
}

uint32_t do_RetrieveTessmarkPCIDump(TavoNode* controller, TavoNode*, char* params) {
  using namespace tavo::firmware;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr || params == nullptr) return 1;
  const std::string path = param_text(params, 0);
  TAVO_delete_file(path.c_str());
  const tavo::tree::HandlerContext nic = tavo::tree::handler_context(get_first_instance(controller, "NICPhysicalHBA"));
  if (!nic) return 1;
  auto image = tavo::base::counted_zeroed<uint8_t>(tavo::kFlashImageSize);
  if (!image) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to allocate memory\n", __func__);
    set_status(kNoMemory);
    return 1;
  }
  const size_t request_size = sizeof(tavo::FlashDumpRequest) + tavo::kFlashReadPieceMax + 4;
  auto request = tavo::base::counted_zeroed<uint8_t>(request_size);
  if (!request) {
    set_status(kNoBuffer);
    return 1;
  }
  for (uint32_t offset = 0; offset < tavo::kFlashImageSize;) {
    const uint32_t piece = std::min(tavo::kFlashImageSize - offset, tavo::kFlashReadPieceMax);
    memset(request.get(), 0, request_size);
    const tavo::FlashDumpRequest head{tavo::kFlashReadOperation, tavo::kFlashImageOptype, piece, offset};
    memcpy(request.get(), &head, sizeof head);
    const uint32_t status = ioctl_get_flash_dump(nic.number, request.get(), nic.domain, nic.port);
    if (status != 0) {
      pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to GET Flash Dump.\n", __func__);
      return status;
    }
    memcpy(image.get() + offset, request.get() + tavo::kFlashReadData, piece);
    offset += piece;
  }
  if (output_write(path.c_str(), image.get(), tavo::kFlashImageSize) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot write %s: %s\n", __func__, path.c_str(), strerror(errno));
    set_status(kDumpFileInvalid);
    return 1;
  }
  return 0;
}

uint32_t do_RetrieveFwCliData(TavoNode* controller, TavoNode* action, char* params) {
  using namespace tavo::firmware;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (controller == nullptr || params == nullptr) return 1;
  if (vm_flag) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to Retrieve FWCli dump on SR-IOV related virtual function.\n", __func__);
    return 1;
  }
  if (get_cv_type(controller) == tavo::kGenerationGaltor) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:On this adapter Retrieve FWCli dump is not supported.\n", __func__);
    return 1;
  }
  const std::string path = param_text(params, 0), command = param_text(params, 1);
  TAVO_delete_file(path.c_str());
  FlashTarget t;
  if (!flash_target(controller, action, &t)) return 1;
  auto request = tavo::base::counted_zeroed<tavo::FwCliRequest>();
  if (!request) {
    set_status(kNoBuffer);
    return 1;
  }
  request->component = tavo::kFwCliComponent;
  request->segment = tavo::kFwCliSegment;
  request->length = tavo::kFwCliOutputMax;
  request->string_length = static_cast<uint32_t>(std::min(command.size(), sizeof request->string));
  memcpy(request->string, command.data(), request->string_length);
  if (ioctl_get_coredump_seg(t.port, request.get(), sizeof *request, t.domain, t.phys_port, t.transport) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:Failed to get CoreDump segment.\n", __func__);
    set_status(kSegmentReadFailed);
    return 1;
  }
  uint32_t answer[2] = {};
  memcpy(answer, request.get(), sizeof answer);
  if (answer[0] == tavo::kFwCliUnsupported) {
    set_status(kFwCliRefused);
    return kFwCliRefused;
  }
  if (answer[0] != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s:FWCli dump failed with segment_status = %d\n", __func__,
           static_cast<int>(answer[0]));
    set_status(kSegmentReadFailed);
    return 1;
  }
  const uint32_t length = std::min(answer[1], tavo::kFwCliOutputMax);
  const auto* output = reinterpret_cast<const uint8_t*>(request.get()) + tavo::kFwCliAnswerData;
  if (output_write(path.c_str(), output, length) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot write %s: %s\n", __func__, path.c_str(), strerror(errno));
    set_status(kDumpFileInvalid);
    return 1;
  }
  return 0;
}
