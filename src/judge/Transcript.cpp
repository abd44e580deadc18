// SPDX-License-Identifier: MIT
#include "judge/Transcript.h"

#include <algorithm>

namespace ostrella {

void Transcript::add(std::int64_t timeMs, bool fromClient, std::string_view bytes)
{
    const bool joins = !pieces_.empty() && pieces_.back().timeMs == timeMs
        && pieces_.back().fromClient == fromClient && !pieces_.back().changed;
    const std::size_t cost = joins ? 0 : PieceCost;
    const std::size_t room = Limit - std::min(Limit, bytes_ + cost);
    const std::size_t kept = std::min(bytes.size(), room);
    dropped_ += static_cast<std::int64_t>(bytes.size() - kept);
    if (kept == 0)
        return;
    if (joins)
        pieces_.back().bytes.append(bytes.substr(0, kept));
    else
        pieces_.push_back(
            TranscriptPiece { timeMs, fromClient, std::string(bytes.substr(0, kept)) });
    bytes_ += kept + cost;
}

void Transcript::addChange(std::int64_t timeMs, bool fromClient, char before, char after)
{
    if (bytes_ + PieceCost + 2 > Limit) {
        dropped_ += 2;
        return;
    }
    pieces_.push_back(TranscriptPiece { timeMs, fromClient, std::string { before, after }, true });
    bytes_ += PieceCost + 2;
}

void Transcript::clear()
{
    pieces_.clear();
    if (pieces_.capacity() > 1024)
        pieces_.shrink_to_fit();
    bytes_ = 0;
    dropped_ = 0;
}

} // namespace ostrella
