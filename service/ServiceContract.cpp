#include "service/ServiceContract.h"

#include <atomic>

namespace tamsel {

namespace {
std::atomic<int> g_servicePort{kServicePort};

std::string HostAndPort() {
    return std::string(kServiceHost) + ":" + std::to_string(g_servicePort.load());
}
}  // namespace

std::string ServiceBaseAddress() {
    return "http://" + HostAndPort() + "/";
}

std::string ServiceResultMarker() {
    return HostAndPort() + "/?url=";
}

int ServicePort() {
    return g_servicePort.load();
}

void UseServiceOnPort(int port) {
    g_servicePort.store(port);
}

}  // namespace tamsel
