// SPDX-License-Identifier: MIT
// A call's transcript: every piece received and sent, with its time, up to a bound; what comes
// after the bound is counted, not kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

struct TranscriptPiece {
    std::int64_t timeMs = 0;
    // From the client (received), or to it (sent).
    bool fromClient = true;
    std::string bytes;
    // A character the line changed on its way: `bytes` holds it before and after.
    bool changed = false;
};

class Transcript {
public:
    // What a call's transcript may hold, counting each piece's own keeping as PieceCost bytes.
    static constexpr std::size_t Limit = 256 * 1024;
    static constexpr std::size_t PieceCost = 48;

    void add(std::int64_t timeMs, bool fromClient, std::string_view bytes);
    void addChange(std::int64_t timeMs, bool fromClient, char before, char after);
    void clear();

    const std::vector<TranscriptPiece>& pieces() const { return pieces_; }
    // What is held (bytes and the pieces' cost), and bytes let go at the bound.
    std::size_t bytes() const { return bytes_; }
    std::int64_t dropped() const { return dropped_; }

private:
    std::vector<TranscriptPiece> pieces_;
    std::size_t bytes_ = 0;
    std::int64_t dropped_ = 0;
};

} // namespace ostrella
