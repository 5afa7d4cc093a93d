#include "autosignaller.h"
#include "commandline.h"
#include "defaultconfig.h"
#include "platform.h"
#include "platformserver.h"
#include "store.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <pthread.h>
#include <sstream>
#include <thread>

namespace {

bool loadConfiguration(const std::string &file, nlohmann::json *config, std::string *error)
{
    std::string text = kDefaultConfig;
    if (!file.empty()) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            *error = "cannot read " + file;
            return false;
        }
        std::ostringstream content;
        content << in.rdbuf();
        text = content.str();
    }
    *config = nlohmann::json::parse(text, nullptr, false);
    if (config->is_discarded()) {
        *error = (file.empty() ? std::string("the built-in configuration") : file) +
                 " is not valid JSON";
        return false;
    }
    if (!Platform::validateConfiguration(*config, error)) {
        *error = (file.empty() ? std::string("the built-in configuration") : file) + ": " + *error;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Every thread inherits the blocked set, so only the waiter below sees SIGTERM and SIGINT.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CommandLine options;
    std::string error;
    if (!options.parse(argc, argv, &error)) {
        std::fprintf(stderr, "velmora-simplatform: %s\n(see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CommandLine::usage(), stdout);
        return 0;
    }
    if (options.printConfig) {
        std::fputs(kDefaultConfig, stdout);
        return 0;
    }

    nlohmann::json config;
    if (!loadConfiguration(options.configFile, &config, &error)) {
        std::fprintf(stderr, "velmora-simplatform: %s\n", error.c_str());
        return 2;
    }
    Store store;
    if (!store.open(options.dataDir, &error)) {
        std::fprintf(stderr, "velmora-simplatform: %s\n", error.c_str());
        return 1;
    }
    Platform platform(store);
    platform.setConfiguration(config, &error);

    PlatformServer::Options serverOptions;
    serverOptions.admin = options.admin;
    serverOptions.quiet = options.quiet;
    PlatformServer server(platform, serverOptions);
    const int port = server.bind(options.host, options.port);
    if (port < 0) {
        std::fprintf(stderr, "velmora-simplatform: cannot listen on %s:%d\n", options.host.c_str(),
                     options.port);
        return 1;
    }
    std::printf("listening on http://%s:%d\n", options.host.c_str(), port);
    std::fflush(stdout);
    std::fprintf(stderr, "data in %s, admin endpoints %s\n", options.dataDir.c_str(),
                 options.admin ? "on" : "off");

    std::thread waiter([&server, &stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        std::fprintf(stderr, "stopping on signal %d\n", received);
        server.stop();
    });
    std::unique_ptr<AutoSignaller> autoSignals;
    if (options.autoSignalSeconds > 0)
        autoSignals = std::make_unique<AutoSignaller>(platform, options.autoSignalSeconds);

    const bool served = server.run();
    autoSignals.reset();
    // The waiter may still be waiting when the server ended on its own.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::fprintf(stderr, "stopped\n");
    return served ? 0 : 1;
}
