#pragma once

#include "engine.h"
#include "frontlistener.h"
#include "requestjournal.h"

#include "framecodec.h"

#include <map>
#include <memory>
#include <string>

namespace simfront {

// The trading front: terminal authentication, login, settlement statement and its
// confirmation, the queries, order insertion, and the private stream of order and trade
// reports, for every connected client.
class TradeFront : public FrontListener
{
public:
    // Requires authentication when the configuration says so; see requireAuthentication().
    TradeFront(asio::io_context &io, Engine &engine, RequestJournal &journal);

    // With `on`, a login is refused (ErrorID 64) unless the connection authenticated that user
    // at this broker first; without, authentication is answered but not needed.
    void requireAuthentication(bool on) { authRequired = on; }

    std::size_t connectionCount() const override { return sessions.size(); }

protected:
    void accepted(asio::ip::tcp::socket socket) override;
    void closeAll() override;

private:
    struct Session
    {
        int id = 0;
        std::shared_ptr<velmora::wire::FramedConnection> link;
        int sessionId = 0; // given at the first login of the connection
        bool loggedIn = false;
        std::string investorId;
        std::string userId;
        // The broker and user of the connection's last successful authentication.
        bool authenticated = false;
        std::string authBrokerId;
        std::string authUserId;
        int privateResume = 2;   // THOST_TERT_QUICK until the client says otherwise
        int privateSequence = 0; // the last item a resuming client holds
        std::string flowDay;     // the trading day that item belongs to
    };

    void onFrame(int id, velmora::wire::Frame &frame);

    void authenticate(Session &s, const velmora::wire::Frame &frame);
    void login(Session &s, const velmora::wire::Frame &frame);
    void logout(Session &s, const velmora::wire::Frame &frame);
    void confirm(Session &s, const velmora::wire::Frame &frame);
    void querySettlement(Session &s, const velmora::wire::Frame &frame);
    void queryInstrument(Session &s, const velmora::wire::Frame &frame);
    void queryPosition(Session &s, const velmora::wire::Frame &frame);
    void queryAccount(Session &s, const velmora::wire::Frame &frame);
    void queryTrade(Session &s, const velmora::wire::Frame &frame);
    void insertOrder(Session &s, const velmora::wire::Frame &frame);
    void replay(Session &s, int after);
    // A broker refusal: the answer to the request, and the error notice to the investor.
    void refuse(Session &s, int requestId, const RspError &e, const CThostFtdcInputOrderField &in);

    // Sends one answer frame; a null record with bIsLast is the empty answer.
    template <class T>
    void answer(Session &s, velmora::wire::MsgType type, int requestId, bool isLast,
                const RspError *error, const T *record);
    void answerError(Session &s, velmora::wire::MsgType type, int requestId, const RspError &e);
    // The private stream: every logged-in session of the investor that takes it gets the item,
    // numbered in the frame's requestId.
    void toInvestor(const std::string &investorId, const FlowItem &item);
    // Error notices are not part of the numbered stream; every logged-in session gets them.
    void errorToInvestor(const std::string &investorId, const RspError &e,
                         const CThostFtdcInputOrderField &in);
    static std::vector<unsigned char> flowFrame(const FlowItem &item);

    Engine &engine;
    RequestJournal &journal;
    std::map<int, Session> sessions;
    bool authRequired = false;
};

} // namespace simfront
