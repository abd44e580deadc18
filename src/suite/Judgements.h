// SPDX-License-Identifier: MIT
// The judgements of the catalogue's cases, one per case, and what they share.
#pragma once

#include "suite/Catalogue.h"

namespace ostrella::judgements {

// TAP's timers as the cases hold a client to them, with the tolerance each allows (ms).
inline constexpr std::int64_t T3 = 10'000;
inline constexpr std::int64_t T3Early = 500;
inline constexpr std::int64_t EndAfterEot = 30'000;
inline constexpr std::int64_t DialGiveUp = 90'000;
inline constexpr std::int64_t NoIdWait = 60'000;
inline constexpr std::int64_t FollowWait = 30'000;
// What a "within N s" limit allows beyond N: a client's own timer of N s, and a hang-up the line
// learns of late on a loaded machine (a pseudo-terminal's close is seen by polling).
inline constexpr std::int64_t Tolerance = 2000;

std::optional<Decision> standardCall(const CaseView& view);
std::optional<Decision> classicTerminal(const CaseView& view);
std::optional<Decision> redialAfterResult(const CaseView& view);
std::optional<Decision> silentDial(const CaseView& view);
std::optional<Decision> lateId(const CaseView& view);
std::optional<Decision> neverId(const CaseView& view);
std::optional<Decision> logonNak(const CaseView& view);
std::optional<Decision> logonRefused(const CaseView& view);
std::optional<Decision> unaskedId(const CaseView& view);
std::optional<Decision> blockNak(const CaseView& view);
std::optional<Decision> everyNak(const CaseView& view);
std::optional<Decision> pageRefused(const CaseView& view);
std::optional<Decision> noReply(const CaseView& view);
std::optional<Decision> slowAck(const CaseView& view);
std::optional<Decision> longReply(const CaseView& view);
std::optional<Decision> timeOutDisconnect(const CaseView& view);
std::optional<Decision> checksumDisconnect(const CaseView& view);
std::optional<Decision> pageLimit(const CaseView& view);
std::optional<Decision> goodbye(const CaseView& view);
std::optional<Decision> silentAfterEot(const CaseView& view);
std::optional<Decision> lateRefusal(const CaseView& view);
std::optional<Decision> slowLine(const CaseView& view);
std::optional<Decision> garbledAck(const CaseView& view);
std::optional<Decision> corruptBlock(const CaseView& view);
std::optional<Decision> carrierLost(const CaseView& view);

} // namespace ostrella::judgements
