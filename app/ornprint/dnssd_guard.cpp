#include "dnssd_guard.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace OrnPrint {
namespace {

constexpr const char* kAvahiSocket = "/run/avahi-daemon/socket";

bool printDevice(const char* info, const char* uri, const char* id, void*) {
  std::printf("%s\n    %s\n    %s\n", uri, info, id ? id : "");
  return false;  // keep listing
}

void printError(const char* message, void*) { std::fprintf(stderr, "ornprint: %s\n", message); }

}  // namespace

bool avahiRunning() {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, kAvahiSocket, sizeof address.sun_path - 1);
  const bool up = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return up;
}

pappl_devtype_t searchableDeviceTypes() {
  if (avahiRunning()) return PAPPL_DEVTYPE_ALL;
  return static_cast<pappl_devtype_t>(PAPPL_DEVTYPE_ALL & ~PAPPL_DEVTYPE_DNS_SD);
}

int listDevicesWithoutDnssd() {
  std::fprintf(stderr,
               "ornprint: the Avahi daemon is not running; DNS-SD printers are not "
               "listed\n");
  papplDeviceList(searchableDeviceTypes(), printDevice, nullptr, printError, nullptr);
  return 0;
}

}  // namespace OrnPrint
