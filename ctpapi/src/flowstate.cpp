#include "flowstate.h"

#include "ThostFtdcUserApiDataType.h"

#include <cstring>

namespace velmora::ctpapi {

void FlowState::setPrivateResume(int type)
{
    std::lock_guard<std::mutex> lock(mutex_);
    privateResume_ = type;
}

void FlowState::setPublicResume(int type)
{
    std::lock_guard<std::mutex> lock(mutex_);
    publicResume_ = type;
}

void FlowState::open(const std::string &flowPath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    file_.openOrExit(flowPath, FlowFile::kTraderFileName);
    position_ = file_.read();
}

wire::TopicSubscription FlowState::subscription() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    wire::TopicSubscription topics{};
    topics.PrivateResumeType = privateResume_;
    topics.PublicResumeType = publicResume_;
    // RESTART and QUICK ask for the whole day or nothing: a position would mean nothing to them.
    if (privateResume_ == THOST_TERT_RESUME) {
        topics.PrivateSequence = position_.privateSequence;
        std::strncpy(topics.TradingDay, position_.tradingDay.c_str(),
                     sizeof(topics.TradingDay) - 1);
    }
    if (publicResume_ == THOST_TERT_RESUME) {
        topics.PublicSequence = position_.publicSequence;
        std::strncpy(topics.TradingDay, position_.tradingDay.c_str(),
                     sizeof(topics.TradingDay) - 1);
    }
    return topics;
}

void FlowState::loggedIn(const char *tradingDay)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_.isOpen() || !tradingDay || position_.tradingDay == tradingDay) {
        return;
    }
    position_ = FlowFile::Position{tradingDay, 0, 0};
    file_.write(position_);
}

void FlowState::privateHanded(int sequence)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_.isOpen() || sequence <= 0 || sequence == position_.privateSequence) {
        return;
    }
    position_.privateSequence = sequence;
    file_.write(position_);
}

} // namespace velmora::ctpapi
