// SPDX-License-Identifier: MIT
#include "judge/Judge.h"

#include "judge/CallJudge.h"

namespace ostrella {

struct Judge::State {
    explicit State(const CallJudge::Setup& setup)
        : call(setup)
    {
    }
    CallJudge call;
};

long JudgeRun::deliveredIn(std::string_view page) const
{
    const auto it = calls_.find(std::hash<std::string_view> {}(page));
    return it == calls_.end() ? 0 : it->second;
}

void JudgeRun::delivered(std::string_view page, long call)
{
    const std::size_t key = std::hash<std::string_view> {}(page);
    if (calls_.insert_or_assign(key, call).second) {
        order_.push_back(key);
        if (order_.size() > MaxPages) {
            calls_.erase(order_.front());
            order_.pop_front();
        }
    }
}

Judge::Judge(const Clock& clock, JudgeRun& run)
    : clock_(clock)
    , run_(run)
{
}

Judge::~Judge() = default;

void Judge::callStarted(bool tap18Terminal)
{
    transcript_.clear();
    state_ = std::make_unique<State>(
        CallJudge::Setup { events_, run_, closesAfterEot_, tap18Terminal, run_.newCall() });
}

void Judge::terminalChanged(bool tap18Terminal)
{
    if (state_)
        state_->call.setTap18(tap18Terminal);
}

void Judge::dialStarted(bool sevenBit)
{
    if (state_)
        state_->call.dialStarted(clock_.nowMs(), sevenBit);
}

void Judge::dialEnded(bool carrier)
{
    if (state_)
        state_->call.dialEnded(clock_.nowMs(), carrier);
}

void Judge::terminalHungUp()
{
    if (state_)
        state_->call.terminalHungUp();
}

void Judge::poll()
{
    if (state_)
        state_->call.poll(clock_.nowMs());
}

void Judge::callEnded(bool byClient)
{
    if (!state_)
        return;
    state_->call.callEnded(clock_.nowMs(), byClient);
    state_.reset();
}

void Judge::received(std::string_view bytes)
{
    if (!state_)
        return;
    const std::int64_t now = clock_.nowMs();
    transcript_.add(now, true, bytes);
    state_->call.received(now, bytes);
}

void Judge::changed(bool inbound, char before, char after)
{
    if (state_)
        transcript_.addChange(clock_.nowMs(), inbound, before, after);
}

void Judge::sent(std::string_view bytes)
{
    if (!state_)
        return;
    const std::int64_t now = clock_.nowMs();
    transcript_.add(now, false, bytes);
    state_->call.sent(now, bytes);
}

} // namespace ostrella
