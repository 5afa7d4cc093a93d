// velmora-simfront: the simulated broker front as a program.

#include "frontconfig.h"
#include "options.h"
#include "simfront.h"

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char **argv)
{
    simfront::Options options;
    std::string error;
    if (!simfront::Options::parse(argc, argv, options, error)) {
        std::fprintf(stderr, "velmora-simfront: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(simfront::Options::helpText(), stdout);
        return 0;
    }
    if (options.printConfig) {
        std::fputs(simfront::FrontConfig::builtInJson(), stdout);
        std::fputs("\n", stdout);
        return 0;
    }

    // Signals are taken by sigwait below; every thread started from here on inherits the mask,
    // so none of them is interrupted by a shutdown request.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    simfront::SimFront front(options);
    if (!front.start(error)) {
        std::fprintf(stderr, "velmora-simfront: %s\n", error.c_str());
        return front.badConfiguration() ? 2 : 1;
    }
    std::printf("td %s\nmd %s\nadmin %s\n", front.tdAddress().c_str(), front.mdAddress().c_str(),
                front.adminAddress().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::fprintf(stderr, "simfront: signal %d, shutting down\n", signal);
    front.stop();
    return 0;
}
