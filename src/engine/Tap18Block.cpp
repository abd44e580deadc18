// SPDX-License-Identifier: MIT
#include "engine/Tap18Block.h"

#include <algorithm>

namespace ostrella::tap18 {

namespace {

bool startsItem(char c)
{
    return c == Stx || c == Eot;
}

// The index of the first STX or EOT at or after `from`, or npos.
std::size_t nextItemStart(std::string_view rx, std::size_t from)
{
    for (std::size_t i = from; i < rx.size(); ++i) {
        if (startsItem(rx[i]))
            return i;
    }
    return std::string_view::npos;
}

Frame blockFrame(std::string_view rx, bool quiet)
{
    const std::size_t limit = std::min(rx.size(), MaxTerminatorAt + 1);
    for (std::size_t i = 1; i < limit; ++i) {
        if (startsItem(rx[i]))
            return { FrameKind::Unterminated, i };
        if (!isTerminator(rx[i]))
            continue;
        // Three checksum characters, then CR; a block cut short is taken once the line is quiet.
        if (rx.size() > i + 4)
            return { FrameKind::Block, rx[i + 4] == Cr ? i + 5 : i + 4 };
        if (quiet)
            return { FrameKind::Block, rx.size() };
        return { FrameKind::Incomplete, 0 };
    }
    if (rx.size() > MaxTerminatorAt)
        return { FrameKind::OverlongBlock, MaxTerminatorAt + 1 };
    if (quiet && rx.back() == Cr)
        return { FrameKind::Unterminated, rx.size() };
    return { FrameKind::Incomplete, 0 };
}

Frame textFrame(std::string_view rx)
{
    const std::size_t limit = std::min(rx.size(), MaxBlockLength);
    for (std::size_t i = 0; i < limit; ++i) {
        if (rx[i] == Cr)
            return { FrameKind::Text, i + 1 };
        if (startsItem(rx[i]))
            return { FrameKind::Stray, i };
    }
    if (rx.size() >= MaxBlockLength)
        return { FrameKind::OverlongText, MaxBlockLength };
    return { FrameKind::Incomplete, 0 };
}

// Undoes SUB transparency in one field; false when a SUB is not followed by 0x40..0x5F.
bool untransparent(std::string_view wire, std::string& out)
{
    bool good = true;
    for (std::size_t i = 0; i < wire.size(); ++i) {
        if (wire[i] != Sub) {
            out.push_back(wire[i]);
            continue;
        }
        const auto next = i + 1 < wire.size() ? static_cast<unsigned char>(wire[i + 1]) : 0U;
        if (next < 0x40 || next > 0x5F) {
            good = false;
            out.push_back(wire[i]);
            continue;
        }
        out.push_back(static_cast<char>(next - 0x40));
        ++i;
    }
    return good;
}

} // namespace

Frame nextFrame(std::string_view rx, bool quiet)
{
    if (rx.empty())
        return {};
    if (rx[0] == Cr || rx[0] == Lf) {
        std::size_t n = 1;
        while (n < rx.size() && (rx[n] == Cr || rx[n] == Lf))
            ++n;
        return { FrameKind::LineEnds, n };
    }
    if (rx[0] == Stx)
        return blockFrame(rx, quiet);
    if (rx[0] == Eot) {
        const std::size_t cr = rx.find(Cr);
        if (cr != std::string_view::npos)
            return { FrameKind::Eot, cr + 1 };
        const std::size_t next = nextItemStart(rx, 1);
        if (next != std::string_view::npos || rx.size() >= MaxBlockLength)
            return { FrameKind::Eot, next != std::string_view::npos ? next : rx.size() };
        return {};
    }
    return textFrame(rx);
}

DecodedTap18Block decodeTap18Block(std::string_view frame)
{
    DecodedTap18Block block;
    if (frame.empty() || frame.front() != Stx)
        return block;
    std::size_t end = 1;
    while (end < frame.size() && !isTerminator(frame[end]))
        ++end;
    std::string_view body = frame.substr(1, end - 1);
    if (end < frame.size()) {
        block.terminator = frame[end];
        block.checksumSent = std::string(frame.substr(end + 1, 3));
        const auto computed = checksum(frame.substr(0, end + 1));
        block.checksumComputed.assign(computed.begin(), computed.end());
        block.checksumGood = block.checksumSent == block.checksumComputed;
    }
    // Every field ends in CR; with US the part after the last CR is a field still open.
    while (!body.empty()) {
        const std::size_t cr = body.find(Cr);
        std::string field;
        block.transparencyGood = untransparent(body.substr(0, cr), field) && block.transparencyGood;
        block.fields.push_back(std::move(field));
        body = cr == std::string_view::npos ? std::string_view() : body.substr(cr + 1);
        if (cr != std::string_view::npos && body.empty() && block.terminator == Us)
            block.fields.emplace_back();
    }
    if (block.fields.empty() && block.terminator == Us)
        block.fields.emplace_back();
    return block;
}

} // namespace ostrella::tap18
