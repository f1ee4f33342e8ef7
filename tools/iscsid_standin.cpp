// Stands in for the peer initiator's daemon while tools/compare-iscsiadm
// measures its command-line tool: it answers each request on the daemon's
// socket with an empty reply of the size the tool waits for, so no call
// waits for a daemon that is not there. Runs in a private network
// namespace; stops when killed.
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main() {
  constexpr char kName[] = "ISCSIADM_ABSTRACT_NAMESPACE";
  constexpr size_t kReply = 2464;  // what the tool reads back, whole
  int s = socket(AF_UNIX, SOCK_STREAM, 0);
  if (s < 0) return 1;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path + 1, kName, sizeof kName - 1);  // abstract: leading NUL
  const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof kName - 1);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(s, 64) != 0) return 1;
  static char request[1 << 16];
  static const char reply[kReply] = {};
  for (;;) {
    int c = accept(s, nullptr, nullptr);
    if (c < 0) continue;
    (void)!read(c, request, sizeof request);
    (void)!write(c, reply, sizeof reply);
    close(c);
  }
}
