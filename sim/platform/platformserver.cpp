#include "platformserver.h"

#include "jsontext.h"
#include "platform.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

using nlohmann::json;

namespace {

const char *const kVerbatimMarker = "X-Velmora-Verbatim";
const char *const kJsonType = "application/json; charset=utf-8";

int portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return -1;
}

// cpp-httplib does not hand the connection's socket to a handler; it is found by the two ports
// of the request, which identify one connection on this host.
int connectionSocket(const httplib::Request &req)
{
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int found = -1;
    while (dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(dir))
            continue;
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr *>(&local), &localSize) !=
                0 ||
            getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr *>(&peer), &peerSize) != 0)
            continue;
        if (portOf(local) == req.local_port && portOf(peer) == req.remote_port) {
            found = static_cast<int>(fd);
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string statusText(int status)
{
    switch (status) {
    case 400:
        return "请求格式错误";
    case 401:
        return "登录已失效，请重新登录";
    case 404:
        return "接口不存在";
    case 405:
        return "请求方法不支持";
    case 413:
        return "请求内容过大";
    case 414:
        return "请求地址过长";
    default:
        return status >= 500 ? "服务器内部错误" : "请求失败";
    }
}

std::int64_t integerParam(const httplib::Request &req, const char *key, std::int64_t fallback)
{
    if (!req.has_param(key))
        return fallback;
    const std::string text = req.get_param_value(key);
    char *end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' ? value : fallback;
}

json headersOf(const httplib::Request &req)
{
    json headers = json::object();
    for (const auto &header : req.headers) {
        // cpp-httplib files the connection's addresses among the headers; they were not sent.
        if (header.first == "REMOTE_ADDR" || header.first == "REMOTE_PORT" ||
            header.first == "LOCAL_ADDR" || header.first == "LOCAL_PORT")
            continue;
        std::string name = header.first;
        for (char &c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        headers[JsonText::safeString(name).get<std::string>()] =
            JsonText::safeString(header.second);
    }
    return headers;
}

std::string idempotencyKey(const httplib::Request &req)
{
    return req.get_header_value("Idempotency-Key");
}

std::string clockText()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int ms =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return text;
}

} // namespace

PlatformServer::PlatformServer(Platform &platform, const Options &options)
    : platform_(platform), options_(options)
{
    const int threads = options_.threads;
    server_.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    // Without it a keep-alive client waits for the delayed ACK on every request.
    server_.set_tcp_nodelay(true);
    // cpp-httplib's default adds SO_REUSEPORT, which lets a second server share a port in use
    // and take part of its requests; a taken port must be an error.
    server_.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server_.set_payload_max_length(options_.maxBodyBytes);
    // An idle keep-alive connection holds a worker thread; a short idle time frees it soon,
    // and a stop never waits long for it.
    server_.set_keep_alive_timeout(2);
    const auto handler = [this](const httplib::Request &req, httplib::Response &res) {
        handle(req, res);
    };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
    server_.Put(".*", handler);
    server_.Patch(".*", handler);
    server_.Delete(".*", handler);
    server_.Options(".*", handler);
    // A request without a length and not chunked has an empty body; cpp-httplib would instead
    // read until the client closes, which a waiting client never does.
    server_.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        if (req.has_header("Content-Length") || req.has_header("Transfer-Encoding") ||
            req.method == "GET" || req.method == "HEAD" || req.method == "OPTIONS" ||
            req.method == "DELETE")
            return httplib::Server::HandlerResponse::Unhandled;
        handle(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    server_.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request &, httplib::Response &res) {
            fillErrorEnvelope(res);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server_.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            send(Reply::error(500, ReplyCode::kServerError, statusText(500)), res);
        });
    server_.set_logger([this](const httplib::Request &req, const httplib::Response &res) {
        logRequest(req, res);
    });

    addApiRoutes();
    if (options_.admin)
        addAdminRoutes();
}

void PlatformServer::addRoute(const std::string &method, const std::string &path, Handler handler)
{
    routes_[path][method] = std::move(handler);
}

void PlatformServer::addApiRoutes()
{
    Platform &p = platform_;
    const auto auth = [](const httplib::Request &req) {
        return req.get_header_value("Authorization");
    };
    addRoute("POST", "/api/login", [&p](const httplib::Request &req) { return p.login(req.body); });
    addRoute("POST", "/api/config",
             [&p, auth](const httplib::Request &req) { return p.config(auth(req)); });
    addRoute("POST", "/api/token",
             [&p, auth](const httplib::Request &req) { return p.renewToken(auth(req)); });
    addRoute("POST", "/api/userData",
             [&p, auth](const httplib::Request &req) { return p.userData(auth(req)); });
    addRoute("POST", "/api/getLoginMessage",
             [&p](const httplib::Request &) { return p.loginMessage(); });
    const std::pair<const char *, const char *> types[] = {{"Real", "real"},
                                                           {"Simulation", "simulation"}};
    for (const auto &type : types) {
        const std::string suffix = type.first;
        const std::string accountType = type.second;
        addRoute("POST", "/api/signal" + suffix, [&p, auth, accountType](const auto &req) {
            return p.signal(auth(req), accountType);
        });
        addRoute("POST", "/api/trade" + suffix, [&p, accountType](const auto &req) {
            return p.report("order", accountType, req.path, req.body, idempotencyKey(req));
        });
        addRoute("POST", "/api/trade" + suffix + "Success", [&p, accountType](const auto &req) {
            return p.report("fill", accountType, req.path, req.body, idempotencyKey(req));
        });
    }
}

void PlatformServer::addAdminRoutes()
{
    Platform &p = platform_;
    addRoute("POST", "/admin/signal",
             [&p](const httplib::Request &req) { return p.publishSignal(req.body); });
    addRoute("GET", "/admin/signal", [&p](const httplib::Request &req) {
        return p.currentSignal(req.get_param_value("username"), req.get_param_value("accountType"));
    });
    addRoute("GET", "/admin/reports", [&p](const httplib::Request &req) {
        ReportFilter filter;
        filter.kind = req.get_param_value("kind");
        filter.accountType = req.get_param_value("accountType");
        filter.username = req.get_param_value("username");
        filter.sinceId = integerParam(req, "since", 0);
        if (req.has_param("accepted"))
            filter.accepted = req.get_param_value("accepted") == "true" ? 1 : 0;
        return p.reports(filter);
    });
    addRoute("POST", "/admin/user",
             [&p](const httplib::Request &req) { return p.patchUser(req.body); });
    addRoute("GET", "/admin/config", [&p](const httplib::Request &) { return p.configuration(); });
    addRoute("POST", "/admin/config",
             [&p](const httplib::Request &req) { return p.patchConfiguration(req.body); });
    addRoute("POST", "/admin/expireToken",
             [&p](const httplib::Request &req) { return p.expireTokens(req.body); });
    addRoute("POST", "/admin/fault", [this](const httplib::Request &req) {
        json request;
        if (!JsonText::parseObject(req.body, &request))
            return Reply::error(400, ReplyCode::kBadRequest, statusText(400));
        FaultRule rule;
        std::string badKey;
        if (!FaultTable::parse(request, &rule, &badKey))
            return Reply::error(400, ReplyCode::kBadRequest, "请求参数错误：" + badKey);
        faults_.add(rule);
        return Reply::ok(faults_.pending());
    });
    addRoute("GET", "/admin/fault",
             [this](const httplib::Request &) { return Reply::ok(faults_.pending()); });
    addRoute("DELETE", "/admin/fault", [this](const httplib::Request &) {
        faults_.clear();
        return Reply::ok(json::array());
    });
    addRoute("GET", "/admin/requests", [this](const httplib::Request &req) {
        return Reply::ok(
            requests_.list(req.get_param_value("path"), integerParam(req, "since", 0)));
    });
    addRoute("DELETE", "/admin/requests", [this](const httplib::Request &) {
        requests_.clear();
        return Reply::okWithoutData();
    });
}

void PlatformServer::send(const Reply &reply, httplib::Response &res)
{
    res.status = reply.status;
    res.set_content(JsonText::dump(reply.body), kJsonType);
}

void PlatformServer::fillErrorEnvelope(httplib::Response &res)
{
    if (res.has_header(kVerbatimMarker)) {
        res.headers.erase(kVerbatimMarker);
        return;
    }
    if (res.body.empty())
        send(Reply::error(res.status, res.status, statusText(res.status)), res);
}

bool PlatformServer::sleepUnlessStopping(int ms)
{
    std::unique_lock<std::mutex> lock(stopMutex_);
    return !stopCondition_.wait_for(lock, std::chrono::milliseconds(ms),
                                    [this] { return stopping_; });
}

void PlatformServer::handle(const httplib::Request &req, httplib::Response &res)
{
    FaultRule fault;
    const bool faulted = faults_.take(req.path, &fault);
    if (req.path.compare(0, 7, "/admin/") != 0)
        requests_.add(Platform::nowMs(), req.method, req.path, headersOf(req), req.body, faulted);
    if (faulted) {
        std::fprintf(stderr, "%s fault on %s %s: %s\n", clockText().c_str(), req.method.c_str(),
                     req.path.c_str(), JsonText::dump(fault.toJson()).c_str());
        if (applyFault(fault, req, res))
            return;
    }

    const auto route = routes_.find(req.path);
    if (route == routes_.end()) {
        send(Reply::error(404, ReplyCode::kNotFound, statusText(404)), res);
        return;
    }
    const auto method = route->second.find(req.method);
    if (method == route->second.end()) {
        std::string allowed;
        for (const auto &entry : route->second)
            allowed += (allowed.empty() ? "" : ", ") + entry.first;
        send(Reply::error(405, ReplyCode::kMethodNotAllowed, statusText(405)), res);
        res.set_header("Allow", allowed);
        return;
    }
    send(method->second(req), res);
}

bool PlatformServer::applyFault(const FaultRule &rule, const httplib::Request &req,
                                httplib::Response &res)
{
    if (rule.delayMs > 0 && !sleepUnlessStopping(rule.delayMs)) {
        // Shutting down: end the connection rather than answer late.
        const int fd = connectionSocket(req);
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        return true;
    }
    if (!rule.replacesAnswer())
        return false;
    if (rule.drop) {
        const int fd = connectionSocket(req);
        if (fd >= 0) {
            // Closing is left to the server, which owns the descriptor; its answer then fails
            // to go out and it ends the connection.
            ::shutdown(fd, SHUT_RDWR);
            return true;
        }
        std::fprintf(stderr, "fault on %s: the connection to drop was not found\n",
                     req.path.c_str());
    }
    res.status = rule.status != 0 ? rule.status : (rule.location.empty() ? 200 : 302);
    if (!rule.location.empty())
        res.set_header("Location", rule.location);
    if (rule.truncateAt >= 0 && static_cast<size_t>(rule.truncateAt) < rule.body.size()) {
        const std::string body = rule.body;
        const size_t keep = static_cast<size_t>(rule.truncateAt);
        res.set_content_provider(body.size(), rule.contentType,
                                 [body, keep](size_t offset, size_t, httplib::DataSink &sink) {
                                     if (offset < keep)
                                         sink.write(body.data() + offset, keep - offset);
                                     return false; // the announced length is never reached
                                 });
    } else {
        res.set_content(rule.body, rule.contentType);
    }
    if (res.status >= 400)
        res.set_header(kVerbatimMarker, "1");
    return true;
}

void PlatformServer::logRequest(const httplib::Request &req, const httplib::Response &res) const
{
    if (options_.quiet)
        return;
    std::fprintf(stderr, "%s %s:%d %s %s -> %d\n", clockText().c_str(), req.remote_addr.c_str(),
                 req.remote_port, req.method.c_str(), req.path.c_str(), res.status);
}

int PlatformServer::bind(const std::string &host, int port)
{
    if (port == 0)
        return server_.bind_to_any_port(host);
    return server_.bind_to_port(host, port) ? port : -1;
}

bool PlatformServer::run()
{
    const bool ok = server_.listen_after_bind();
    std::lock_guard<std::mutex> lock(stopMutex_);
    finished_ = true;
    return ok || stopping_;
}

void PlatformServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_ = true;
    }
    stopCondition_.notify_all();
    // The server ignores stop() until it listens; a stop that comes right after start must
    // wait for that moment or it would be lost.
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard<std::mutex> lock(stopMutex_);
            if (finished_)
                return;
        }
        if (server_.is_running())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_.stop();
}
