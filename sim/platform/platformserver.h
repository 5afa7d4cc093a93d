#pragma once

#include "faulttable.h"
#include "reply.h"
#include "requestlog.h"

#include <condition_variable>
#include <functional>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>

class Platform;

// The HTTP face of the platform: the client's /api/ endpoints, the optional /admin/ endpoints,
// injected faults, and a request log. Every answer, including the server's own errors, carries
// the {code, msg} envelope unless a fault asks for exact bytes.
class PlatformServer
{
public:
    struct Options
    {
        bool admin = false;
        bool quiet = false; // no line per request on stderr
        size_t maxBodyBytes = 8 * 1024 * 1024;
        int threads = 32;
    };

    PlatformServer(Platform &platform, const Options &options);

    // Binds the listening socket; port 0 takes a free port. The bound port, or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false when it could not serve at all.
    bool run();
    // Callable from any thread; pending delays end at once.
    void stop();

private:
    using Handler = std::function<Reply(const httplib::Request &)>;

    void addRoute(const std::string &method, const std::string &path, Handler handler);
    void addApiRoutes();
    void addAdminRoutes();
    void handle(const httplib::Request &req, httplib::Response &res);
    // true when the fault produced the whole answer (or dropped the connection).
    bool applyFault(const FaultRule &rule, const httplib::Request &req, httplib::Response &res);
    bool sleepUnlessStopping(int ms);
    static void send(const Reply &reply, httplib::Response &res);
    static void fillErrorEnvelope(httplib::Response &res);
    void logRequest(const httplib::Request &req, const httplib::Response &res) const;

    Platform &platform_;
    Options options_;
    httplib::Server server_;
    FaultTable faults_;
    RequestLog requests_;
    std::map<std::string, std::map<std::string, Handler>> routes_; // path, then method

    std::mutex stopMutex_;
    std::condition_variable stopCondition_;
    bool stopping_ = false;
    bool finished_ = false;
};
