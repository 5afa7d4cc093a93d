#pragma once

#include "engine.h"
#include "frontlistener.h"
#include "quotebook.h"
#include "requestjournal.h"

#include "framecodec.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace simfront {

// The market-data front: login, subscriptions, and the ticks of the subscribed instruments.
class MarketFront : public FrontListener
{
public:
    MarketFront(asio::io_context &io, Engine &engine, const QuoteBook &quotes,
                RequestJournal &journal);

    std::size_t connectionCount() const override { return sessions.size(); }
    // Sends the instrument's current quote to every session subscribed to it.
    void publish(const std::string &instrumentId);

protected:
    void accepted(asio::ip::tcp::socket socket) override;
    void closeAll() override;

private:
    struct Session
    {
        int id = 0;
        std::shared_ptr<velmora::wire::FramedConnection> link;
        int sessionId = 0;
        bool loggedIn = false;
        std::set<std::string> subscribed;
    };

    void onFrame(int id, velmora::wire::Frame &frame);
    void subscribe(Session &s, const velmora::wire::Frame &frame, bool on);
    void send(Session &s, velmora::wire::MsgType type, int requestId, bool isLast,
              const RspError *error, const void *record, std::size_t size);
    void sendQuote(Session &s, const Quote &q);

    Engine &engine;
    const QuoteBook &quotes;
    RequestJournal &journal;
    std::map<int, Session> sessions;
};

} // namespace simfront
