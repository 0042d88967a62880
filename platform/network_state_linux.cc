// The connected-state query: a default route on an interface other than loopback, read from
// /proc/net/route and /proc/net/ipv6_route, or the test file named by KOLVAR_NETWORK_STATE_FILE.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/notification.h"

namespace kolvar::platform {
namespace {

constexpr unsigned kRouteUp = 0x0001;
constexpr unsigned kRouteReject = 0x0200;

bool HasIpv4DefaultRoute() {
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // the header
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway;
    unsigned flags = 0;
    if (!(fields >> iface >> destination >> gateway >> std::hex >> flags)) continue;
    if (iface != "lo" && destination == "00000000" && (flags & kRouteUp) != 0) return true;
  }
  return false;
}

bool HasIpv6DefaultRoute() {
  std::ifstream routes("/proc/net/ipv6_route");
  std::string line;
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, source_prefix, next_hop, metric, references, use;
    std::string flags_text, iface;
    if (!(fields >> destination >> prefix >> source >> source_prefix >> next_hop >> metric >>
          references >> use >> flags_text >> iface)) {
      continue;
    }
    const unsigned flags = static_cast<unsigned>(std::strtoul(flags_text.c_str(), nullptr, 16));
    if (iface != "lo" && prefix == "00" && destination == std::string(32, '0') &&
        (flags & kRouteUp) != 0 && (flags & kRouteReject) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsNetworkConnected() {
  if (const char* file = std::getenv("KOLVAR_NETWORK_STATE_FILE"); file != nullptr && *file) {
    std::ifstream state(file);
    char first = 0;
    return state.get(first) && first == '1';
  }
  return HasIpv4DefaultRoute() || HasIpv6DefaultRoute();
}

}  // namespace kolvar::platform
