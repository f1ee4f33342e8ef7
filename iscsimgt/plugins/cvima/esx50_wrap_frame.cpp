// The plug-in's life on behalf of the host: the counted open and close of
// the tree, the owner id, object id checks, status mapping and the log.
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "iscsimgt/plugins/cvima/esx50_wrap_internal.h"

uint32_t MyOwnerId = 0;
int32_t open_count = 0;
uint32_t tree_opened = 0;
uint32_t discover_status = 0;

namespace tavo::cvima {
namespace {

// Guards the open count and the tree flags; never held by a tree call's
// callee, so it cannot invert with the tree's own lock.
std::mutex lifecycle_lock;
// Whether this plug-in's TAVO_init succeeded: only then is TAVO_exit ours.
bool tree_initialized = false;

// The word an object type's node name (its parent's for targets) holds.
const char* type_word(uint32_t type) {
  switch (type) {
    case IMA_OBJECT_TYPE_LHBA:
      return "LogicalHBA";
    case IMA_OBJECT_TYPE_PHBA:
    case IMA_OBJECT_TYPE_LNP:
      return "iSCSIPhysicalHBA";
    case IMA_OBJECT_TYPE_NETWORK_PORTAL:
      return "TCPIPConfiguration";
    case IMA_OBJECT_TYPE_PNP:
      return "NICConfiguration";
    case IMA_OBJECT_TYPE_TARGET:
    case IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET:
      return "Target";
    case IMA_OBJECT_TYPE_LU:
      return "LUN";
    case IMA_OBJECT_TYPE_DISCOVERY_ADDRESS:
      return "SendTargetPortal";
    case IMA_OBJECT_TYPE_CONNECTION:
      return "Connection";
    case IMA_OBJECT_TYPE_SESSION:
      return "Session";
    default:
      return nullptr;
  }
}

// /tmp/ima.log of the host, under TAVO_ROOT when it is set.
std::string log_path() {
  const char* root = secure_getenv("TAVO_ROOT");
  std::string path = root ? root : "";
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path + "/tmp/ima.log";
}

// Opens the log for appending; a link, a second name or anything but a
// regular file planted at the path is not written.
int open_log() {
  const int fd = open(log_path().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

uint32_t owner_id() { return std::atomic_ref<uint32_t>(MyOwnerId).load(std::memory_order_relaxed); }

void note_discovery_failure() { std::atomic_ref<uint32_t>(discover_status).store(2, std::memory_order_relaxed); }

bool discovery_failed() { return std::atomic_ref<uint32_t>(discover_status).load(std::memory_order_relaxed) == 2; }

IMA_OID make_oid(IMA_OBJECT_TYPE type, uint32_t tag) {
  IMA_OID oid;
  oid.objectType = type;
  oid.ownerId = owner_id();
  oid.objectSequenceNumber = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(tag)));
  return oid;
}

IMA_STATUS check_oid(const IMA_OID& oid, uint32_t accepted_types) {
  return CheckParameters(oid.objectType, oid.ownerId, static_cast<uint32_t>(oid.objectSequenceNumber),
                         static_cast<uint32_t>(oid.objectSequenceNumber >> 32), accepted_types);
}

}  // namespace tavo::cvima

using namespace tavo::cvima;

extern "C" {

void driver_open(void) {
  std::lock_guard<std::mutex> hold(lifecycle_lock);
  ++open_count;
  if (tree_opened == 0) {
    const uint32_t status = TAVO_init();
    if (status != 0) ppdebug("TAVO_init status is %d\n", static_cast<int>(status));
    tree_initialized = status == 0;
    tree_opened = 1;
  }
}

void driver_close(void) {
  std::lock_guard<std::mutex> hold(lifecycle_lock);
  if (tree_opened != 1 || open_count <= 0) return;
  if (--open_count == 0) {
    if (tree_initialized) TAVO_exit();
    tree_initialized = false;
    tree_opened = 0;
  }
}

IMA_STATUS IMA_VMW_PluginInit(IMA_UINT32 owner) {
  driver_open();
  std::atomic_ref<uint32_t>(MyOwnerId).store(owner, std::memory_order_relaxed);
  return IMA_STATUS_SUCCESS;
}

void IMA_VMW_PluginCleanup(void) { driver_close(); }

IMA_STATUS IMA_FreeMemory(void* memory) {
  // A list may carry a CHAP secret: nothing handed out goes back unclear.
  if (memory != nullptr) explicit_bzero(memory, malloc_usable_size(memory));
  free(memory);
  return IMA_STATUS_SUCCESS;
}

void ppdebug(const char* format, ...) {
  if (format == nullptr) return;
  char small[512];
  va_list args;
  va_start(args, format);
  const int n = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n <= 0) return;
  std::vector<char> large;
  const char* text = small;
  if (static_cast<size_t>(n) >= sizeof small) {
    large.resize(static_cast<size_t>(n) + 1);
    va_start(args, format);
    vsnprintf(large.data(), large.size(), format, args);
    va_end(args);
    text = large.data();
  }
  const int fd = open_log();
  if (fd < 0) return;
  // One write per line: lines of several threads never interleave.
  ssize_t written;
  do {
    written = write(fd, text, static_cast<size_t>(n));
  } while (written < 0 && errno == EINTR);
  close(fd);
}

IMA_STATUS CheckParameters(IMA_UINT32 object_type, IMA_UINT32 owner, IMA_UINT32 sequence_low,
                           IMA_UINT32 sequence_high, IMA_UINT32 accepted_types) {
  if (object_type < 1 || object_type > 16) return IMA_ERROR_INVALID_OBJECT_TYPE;
  if (object_type < 16 && (accepted_types & type_bit(object_type)) != 0)
    return ValidateOidTag(object_type, owner, sequence_low, sequence_high);
  return IMA_ERROR_INCORRECT_OBJECT_TYPE;
}

IMA_STATUS ValidateOidTag(IMA_UINT32 object_type, IMA_UINT32 owner, IMA_UINT32 sequence_low, IMA_UINT32) {
  const char* word = type_word(object_type);
  if (word == nullptr) return IMA_ERROR_INCORRECT_OBJECT_TYPE;
  uint32_t node = sequence_low;
  // A target id names a portal; the word is in its target's name.
  if ((object_type == IMA_OBJECT_TYPE_TARGET || object_type == IMA_OBJECT_TYPE_STATIC_DISCOVERY_TARGET) &&
      Get_Target_tag(sequence_low, &node) != 0)
    return IMA_ERROR_OBJECT_NOT_FOUND;
  char name[TAVO_NAME_SIZE] = "";
  if (TAVO_get_node_name(node, name, TAVO_KIND_GROUP) != 0) return IMA_ERROR_OBJECT_NOT_FOUND;
  if (strstr(name, word) == nullptr) return IMA_ERROR_OBJECT_NOT_FOUND;
  if (owner != owner_id()) return IMA_ERROR_OBJECT_NOT_FOUND;
  return IMA_STATUS_SUCCESS;
}

IMA_STATUS ErrorCheck(IMA_UINT32 status) {
  if (status == 0) return IMA_STATUS_SUCCESS;
  if (status == 0xFFFFFFFFu) return IMA_ERROR_OBJECT_NOT_FOUND;
  if ((status & 0x80000000u) != 0) return status;
  // Every tree failure is one to the host, whatever its code.
  ppdebug("in Error check and failed in TAVO\n");
  return IMA_ERROR_INVALID_PARAMETER;
}

IMA_STATUS IMA_GetSharedNodeOid(IMA_OID* node_oid) {
  if (node_oid == nullptr) return IMA_ERROR_INVALID_PARAMETER;
  uint32_t tag = 0;
  for (const char* name : {"Corvane0", "iSCSIPhysicalHBA0", "LogicalHBA0", "InitiatoriSCSIName"})
    if (const uint32_t status = group_tag(tag, name, &tag)) return ErrorCheck(status);
  *node_oid = make_oid(IMA_OBJECT_TYPE_NODE, tag);
  return IMA_STATUS_SUCCESS;
}

}  // extern "C"
