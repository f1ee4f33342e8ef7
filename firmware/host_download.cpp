// The host-side firmware download: the image is copied into /lib/firmware
// and handed to the NIC driver with ethtool -f, else through its sysfs
// flash_fw file. Only checked and quoted words reach the shell; files are
// copied and written with file calls, and ethtool's error text is read
// from its output, never through a file.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/file_utils.h"
#include "base/last_status.h"
#include "base/root_gate.h"
#include "base/save_file.h"
#include "base/shell_args.h"
#include "firmware/flash_internal.h"
#include "firmware/flash_update.h"
#include "firmware/status_texts.h"
#include "platform/host.h"
#include "transport/device_ids.h"
#include "transport/glob.h"
#include "tree/api_guard.h"

using tavo::base::shell_quote;
using tavo::firmware::set_status;

namespace {

constexpr char kFirmwareFolder[] = "/lib/firmware";
constexpr char kLoadingTimeout[] = "/sys/class/firmware/timeout";
constexpr int kEthtoolRefused = 255;

int download_exit(int wait_status) { return wait_status < 0 ? -1 : (wait_status >> 8) & 255; }

int download_run(const std::string& command) {
  return download_exit(tavo::platform::host().shell(command));
}

// Takes the interface down again, on every return, when it was brought up.
class InterfaceUp {
 public:
  explicit InterfaceUp(const std::string& quoted) : quoted_(quoted) {
    if (download_run("ifconfig " + quoted_ + " 2> /dev/null | grep UP > /dev/null") == 0) return;
    download_run("ifconfig " + quoted_ + " up 2> /dev/null");
    brought_up_ = true;
  }
  ~InterfaceUp() { restore(); }
  InterfaceUp(const InterfaceUp&) = delete;
  InterfaceUp& operator=(const InterfaceUp&) = delete;
  void restore() {
    if (!brought_up_) return;
    download_run("ifconfig " + quoted_ + " down 2> /dev/null");
    brought_up_ = false;
  }

 private:
  std::string quoted_;
  bool brought_up_ = false;
};

// Writes text over a host file that must exist (a driver's attribute).
bool download_write(const std::string& path, const std::string& text) {
  tavo::platform::Host& host = tavo::platform::host();
  const int fd = host.open(tavo::platform::fixed_path(path), O_WRONLY | O_TRUNC | O_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool written = tavo::files::write_all(fd, text) == 0;
  return host.close(fd) == 0 && written;
}

// The image read before anything runs: its bytes and where it lies.
struct DownloadImage {
  tavo::base::Counted<uint8_t> bytes;
  uint32_t length = 0;
  tavo::files::FileIdentity source;
};

// The process id of a copy of image that a download writes before its
// rename ("<image>.tmp.<pid>.<n>"), or 0 when the name is no such copy.
pid_t leftover_owner(const std::string& name, const std::string& image) {
  const std::string prefix = image + ".tmp.";
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const size_t dot = name.find('.', prefix.size());
  if (dot == std::string::npos) return 0;
  const std::string pid = name.substr(prefix.size(), dot - prefix.size()), n = name.substr(dot + 1);
  const auto digits = [](const std::string& t) {
    return !t.empty() && t.size() <= 10 && t.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!digits(pid) || !digits(n)) return 0;
  const unsigned long value = strtoul(pid.c_str(), nullptr, 10);
  return value > 0 && value <= 0x7FFFFFFF ? static_cast<pid_t>(value) : 0;
}

// Whether path is a regular file of one name, looked at without following
// a link.
bool plain_file(const std::string& path) {
  tavo::platform::Host& host = tavo::platform::host();
  const int fd = host.open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat st;
  const bool plain = host.fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
  host.close(fd);
  return plain;
}

// The image as /lib/firmware/<name>; a source that is already that file
// stays as it is.
bool download_copy(const DownloadImage& image, const std::string& name) {
  const std::string target = std::string(kFirmwareFolder) + "/" + name;
  if (!tavo::files::readable(tavo::platform::fixed_path(kFirmwareFolder)) &&
      tavo::files::make_dirs(tavo::platform::fixed_path(kFirmwareFolder), 0755) != 0)
    return false;
  tavo::firmware::remove_download_leftovers(name);
  // The source itself, unchanged since its bytes were read, stays.
  const tavo::files::FileIdentity present = tavo::files::identify(target);
  if (present.size >= 0 && tavo::files::unchanged(image.source, present)) return true;
  return tavo::files::replace_file(
             target, std::string_view(reinterpret_cast<const char*>(image.bytes.get()), image.length), 0644) == 0;
}

// The sysfs path: the name written into the driver's flash_fw file while
// the firmware-loading timeout is 360 seconds.
uint32_t download_sysfs(const DownloadImage& image, const std::string& interface, const std::string& name) {
  const std::string flash_fw = "/sys/class/net/" + interface + "/flash_fw";
  struct stat st;
  if (tavo::platform::host().stat(tavo::platform::fixed_path(flash_fw), &st) != 0) {
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  std::string old_timeout;
  tavo::files::FileIdentity id;
  const bool saved = tavo::files::read_saved(kLoadingTimeout, 0, &old_timeout, &id) == 0;
  if (saved) download_write(kLoadingTimeout, "360\n");
  bool flashed = download_copy(image, name);
  if (flashed) {
    // Other processes' calls go on while the driver flashes.
    tavo::base::RootGateLetGo let_go;
    flashed = download_write(flash_fw, name + "\n");
    if (const uint32_t refused = tavo::tree::rejoin_root(let_go)) return refused;
  }
  if (saved) download_write(kLoadingTimeout, old_timeout);
  if (!flashed) {
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  return 0;
}

// The ethtool path; ethtool's refusal (exit status 255) is told by the
// first line of its error text.
uint32_t download_ethtool(const DownloadImage& image, const std::string& interface, const std::string& name) {
  if (!download_copy(image, name)) {
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  const bool enforcing = download_run("getenforce 2> /dev/null | grep Enforcing >/dev/null") == 0;
  if (enforcing) download_run("setenforce 0");
  std::string errors;
  int result = 0;
  {
    // Other processes' calls go on while the driver flashes.
    tavo::base::RootGateLetGo let_go;
    result = tavo::platform::host().shell_output(
        "ethtool -f " + shell_quote(interface) + " " + shell_quote(name) + " 2>&1 >/dev/null", &errors);
    if (const uint32_t refused = tavo::tree::rejoin_root(let_go)) return refused;
  }
  if (enforcing) download_run("setenforce 1");
  const int exit_status = download_exit(result);
  if (exit_status != kEthtoolRefused && result != 0) {
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  if (exit_status != kEthtoolRefused) return 0;
  std::istringstream lines(errors);
  std::string first;
  std::getline(lines, first);
  pdebug(TAVO_LOG_BACKEND, 3, "%s: ethtool refused the image: %s\n", __func__, first.c_str());
  uint32_t code = tavo::firmware::kUpgradeFailed;
  if (first.find("Resource temporarily unavailable") != std::string::npos)
    code = tavo::firmware::kDownloadTwice;
  else if (first.find("Required key not available") != std::string::npos)
    code = tavo::firmware::kSignatureMissing;
  else if (first.find("Key was rejected by service") != std::string::npos)
    code = tavo::firmware::kSignatureInvalid;
  set_status(code);
  return code == tavo::firmware::kUpgradeFailed ? 1 : code;
}

}  // namespace

void tavo::firmware::remove_download_leftovers(const std::string& image) {
  tavo::platform::Host& host = tavo::platform::host();
  const std::string folder = tavo::platform::fixed_path(kFirmwareFolder);
  std::vector<std::string> names;
  if (image.empty() || host.list_directory(folder, &names) != 0) return;
  for (const std::string& name : names) {
    // This process's own copies belong to a download under way: downloads
    // here run one at a time, and a finished one leaves none. Another
    // program's file, a link or a folder of that name is not the library's.
    const pid_t owner = leftover_owner(name, image);
    if (owner == 0 || owner == getpid() || tavo::platform::process_alive(owner)) continue;
    const std::string path = folder + "/" + name;
    if (plain_file(path) && host.unlink(path) == 0)
      pdebug(TAVO_LOG_BACKEND, 5, "%s: %s left by a download that did not finish removed\n", __func__, name.c_str());
  }
}

uint32_t get_flash_name(const char* path, char* name) {
  if (path == nullptr || name == nullptr) return 1;
  const char* slash = strrchr(path, '/');
  if (slash == nullptr) return 1;
  std::string text = slash + 1;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (text.empty() || text == "." || text == ".." || text.size() >= TAVO_VALUE_SIZE) return 1;
  snprintf(name, TAVO_VALUE_SIZE, "%s", text.c_str());
  return 0;
}

uint32_t TAVO_firmware_download(TavoNode* controller, uint32_t port, uint32_t generation, const char* path) {
  // Clients call it directly: it holds the library lock like a tree call.
  TAVO_API_GUARD;
  pdebug(TAVO_LOG_BACKEND, 6, "--- entering %s ---\n", __func__);
  if (path == nullptr || controller == nullptr) return 1;
  char name[TAVO_VALUE_SIZE];
  if (get_flash_name(path, name) != 0) return 1;
  // The folder is only opened with file calls, so any name they take will
  // do; the file name reaches ethtool and the driver and must be plain.
  if (!tavo::base::valid_plain_name(name, TAVO_VALUE_SIZE - 1)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: refused the file name %s\n", __func__, name);
    set_status(tavo::firmware::kDumpFileInvalid);
    return 1;
  }
  DownloadImage image;
  image.source = tavo::files::identify(path);
  if (tavo::firmware::read_whole_file(path, &image.bytes, &image.length) != 0) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: cannot read %s\n", __func__, path);
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  const char* interface = port >= 1 && port <= TAVO_MAX_FUNCTIONS ? tavo_glob.if_names[port - 1] : nullptr;
  if (interface == nullptr || !tavo::base::valid_shell_name(interface)) {
    pdebug(TAVO_LOG_BACKEND, 3, "%s: NIC port %u has no usable interface name\n", __func__,
           static_cast<unsigned>(port));
    set_status(tavo::firmware::kUpgradeFailed);
    return 1;
  }
  // One flash at a time on the root: another download of this name would
  // write over the image the driver reads.
  tavo::base::RootFlashLock flash;
  if (!flash.held()) {
    tavo::base::RootGateLetGo let_go;
    const uint32_t waited = flash.take();
    if (const uint32_t refused = tavo::tree::rejoin_root(let_go)) return refused;
    if (waited != 0) return waited;
  }
  const TavoHierarchy* tree = hm_find_hierarchy_by_node(controller);
  const TavoNodeRef held = tavo::tree::node_ref(controller);
  InterfaceUp up(shell_quote(interface));
  const bool ethtool = download_run("ethtool -h 2>&1 | grep \"ethtool -f\" > /dev/null") == 0;
  const uint32_t result = ethtool ? download_ethtool(image, interface, name) : download_sysfs(image, interface, name);
  up.restore();
  if (result != 0) return result;
  // A success leaves no earlier call's status behind.
  tavo::base::clear_last_status();
  // The flash let other processes in: the controller is found again.
  controller = tavo::tree::ref_node(tree, held);
  if (generation != tavo::kGenerationGaltor || controller == nullptr) {
    set_status(tavo::firmware::kRebootToActivate);
    return 0;
  }
  char active[TAVO_VALUE_SIZE] = "", flashed[TAVO_VALUE_SIZE] = "";
  if (internal_get_property(controller, "ActiveFirmwareVersion", active) != 0 ||
      internal_get_property(controller, "FirmwareVersionOnFlash", flashed) != 0)
    set_status(tavo::firmware::kVersionsUnreadable);
  else if (strcasecmp(active, flashed) != 0)
    set_status(tavo::firmware::kRebootToActivate);
  return 0;
}
