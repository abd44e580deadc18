// SPDX-License-Identifier: MIT
#include "judge/Judge.h"

namespace ostrella {

struct Judge::State { };

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
    , state_(std::make_unique<State>())
{
}

Judge::~Judge() = default;

void Judge::callStarted(bool) { transcript_.clear(); }
void Judge::dialStarted(bool) { }
void Judge::dialEnded(bool) { }
void Judge::terminalHungUp() { }
void Judge::poll() { }
void Judge::callEnded(bool) { }
void Judge::received(std::string_view bytes) { transcript_.add(clock_.nowMs(), true, bytes); }
void Judge::sent(std::string_view bytes) { transcript_.add(clock_.nowMs(), false, bytes); }

} // namespace ostrella
