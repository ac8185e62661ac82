// tamsel-extractd: Tamsel's extraction service on its fixed port, in the
// foreground until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>

#include "service/ExtractionService.h"
#include "service/ServiceContract.h"

using namespace tamsel;

int main() {
    // Block the stop signals before any thread starts, so only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    ExtractionService service;
    if (!service.Start(kServicePort)) {
        std::fprintf(stderr, "tamsel-extractd: port %d on %s is taken\n", kServicePort,
                     kServiceHost);
        return 1;
    }
    std::printf("tamsel-extractd listening on http://%s:%d/\n", kServiceHost, service.Port());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    service.Stop();
    return 0;
}
