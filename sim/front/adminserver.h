#pragma once

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace simfront {

class SimFront;

// The operator's HTTP interface on loopback: drop connections, roll the trading day, steer the
// quotes, inject error answers, and read back what the fronts received. docs/simfront.md lists
// every endpoint.
class AdminServer
{
public:
    explicit AdminServer(SimFront &front);
    ~AdminServer();

    bool listen(const std::string &host, unsigned short port, std::string &error);
    void start();
    void stop();
    std::string address() const;

private:
    void routes();

    SimFront &front;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::string host;
    int port = 0;
};

} // namespace simfront
