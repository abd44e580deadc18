// SPDX-License-Identifier: MIT
// The tap18 terminal's block side. Each item that arrives after the logon is answered in turn:
// a block with a message-sequence line and ACK, NAK or RS (a block that ends in ETB or US with a
// bare ACK), other text with 502 and NAK, EOT with 115 and the disconnect. The fault boxes, then
// the fault plan, decide before the terminal's own checks: NAK gives 514 and NAK, REJ 511 and RS,
// no response silence. The plan's faults of the line are played around the terminal's own answer.
#include "engine/PlanFaults.h"
#include "engine/Tap18Terminal.h"

namespace ostrella {

namespace {

using tap18::FrameKind;

std::string_view controlWord(char control)
{
    switch (control) {
    case Ack:
        return "ACK";
    case Nak:
        return "NAK";
    default:
        return "REJ";
    }
}

bool validPagerId(std::string_view id)
{
    if (id.empty() || id.size() > Tap18Terminal::MaxPagerIdLength)
        return false;
    for (char c : id) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The characters of the message: fields 2..N.
std::size_t messageLength(const std::vector<std::string>& fields)
{
    std::size_t n = 0;
    for (std::size_t i = 1; i < fields.size(); ++i)
        n += fields[i].size();
    return n;
}

} // namespace

void Tap18Terminal::tickBlocks()
{
    const bool quiet = now() - lastRxChange_ >= QuietMs;
    LineLink& link = line_.link;
    bool held = false;
    while (reading() && line_.session.gLineState == LineState::STXNO && link.InBufferCount() > 0) {
        const std::string& rx = link.gRxString();
        if (skipping_) {
            const std::size_t next = rx.find_first_of(std::string { Stx, Eot });
            const std::size_t dropped = next == std::string::npos ? rx.size() : next;
            if (dropped > 0)
                (void)link.RxData(static_cast<long>(dropped));
            if (next == std::string::npos)
                break;
            skipping_ = false;
        }
        const tap18::Frame frame = tap18::nextFrame(link.gRxString(), quiet);
        held = frame.kind != FrameKind::Incomplete && holdsFirstBlock(frame.kind);
        if (frame.kind == FrameKind::Incomplete || held)
            break;
        onItem(frame.kind, link.RxData(static_cast<long>(frame.length)));
    }
    // A block the script holds is not waited for: t4 runs again from its reply.
    if (reading() && !held && line_.session.gLineState == LineState::STXNO && now() > deadline_)
        disconnect(Tap18Code::TimeOut);
}

void Tap18Terminal::onItem(FrameKind kind, const std::string& item)
{
    switch (kind) {
    case FrameKind::Incomplete:
    case FrameKind::LineEnds:
        break;
    case FrameKind::Stray:
        logPet("  DP: Dropped before STX: " + item);
        break;
    case FrameKind::Text:
    case FrameKind::OverlongText:
        logPet("  DP: Rxd text that is no block: " + item);
        answer(Tap18Code::UnexpectedCharacters, Nak);
        record({ item }, nullptr, BlockReply::Nak, ReplyReason::NotABlock,
               Tap18Code::UnexpectedCharacters);
        skipping_ = kind == FrameKind::OverlongText;
        break;
    case FrameKind::Eot:
        closing();
        break;
    case FrameKind::Block:
    case FrameKind::Unterminated:
    case FrameKind::OverlongBlock:
        onBlock(kind, item);
        skipping_ = kind == FrameKind::OverlongBlock;
        break;
    }
}

void Tap18Terminal::onBlock(FrameKind kind, const std::string& frame)
{
    // The plan chooses by the block as it came; the terminal answers the block as it reads it.
    std::string read = frame;
    tap18::DecodedTap18Block block = tap18::decodeTap18Block(read);
    const std::size_t index = line_.takeBlockIndex();
    if (scriptDisconnects(index, read, block))
        return;
    const BlockDecision decision = decide(block, index);
    if (decision.fault == LineFault::Corrupt && corruptBlock(line_, read))
        block = tap18::decodeTap18Block(read);
    logPet("  DP: Rxd STX pkt:" + read);
    fault_ = decision.fault;
    answerBlock(kind, block, decision.directed);
    fault_ = LineFault::None;
    // Right after the reply; a block the terminal answered by hanging up has no reply to follow.
    if (decision.fault == LineFault::Drop && onLine_) {
        dropCarrier(line_);
        hangUp();
    }
}

void Tap18Terminal::answerBlock(FrameKind kind, const tap18::DecodedTap18Block& block,
                                const std::optional<DirectedReply>& directed)
{
    if (fields_.empty() && pageLimit() > 0 && pages_ >= pageLimit()) {
        record(block.fields, &block, BlockReply::None, ReplyReason::PageLimit, Tap18Code::MaxPages);
        disconnect(Tap18Code::MaxPages);
        return;
    }
    if (directed) {
        const auto [reply, reason] = *directed;
        switch (reply) {
        case BlockReply::Ack:
            takeBlock(block, reason);
            break;
        case BlockReply::Nak:
            answer(Tap18Code::ChecksumError, Nak);
            record(block.fields, &block, reply, reason, Tap18Code::ChecksumError);
            break;
        case BlockReply::Rej:
            answer(Tap18Code::UnknownPagerId, Rs);
            fields_.insert(fields_.end(), block.fields.begin(), block.fields.end());
            record(fields_, &block, reply, reason, Tap18Code::UnknownPagerId);
            clearTransaction();
            break;
        case BlockReply::None:
            // The client may resend after t3; the usual t4 runs from then.
            record(block.fields, &block, reply, reason, Tap18Code {});
            deadline_ = now() + settings.t3Ms + t4Ms();
            break;
        case BlockReply::Garble:
        case BlockReply::Corrupt:
        case BlockReply::Drop:
            // The plan's line faults are never a directed reply.
            break;
        }
        return;
    }

    if (kind == FrameKind::OverlongBlock) {
        // It will never fit: refused, not to be sent again.
        answer(Tap18Code::FormatError, Rs);
        record(block.fields, &block, BlockReply::Rej, ReplyReason::FormatError,
               Tap18Code::FormatError);
        clearTransaction();
        return;
    }
    if (kind == FrameKind::Unterminated) {
        answer(Tap18Code::FormatError, Nak);
        record(block.fields, &block, BlockReply::Nak, ReplyReason::FormatError,
               Tap18Code::FormatError);
        return;
    }
    if (!block.checksumGood) {
        if (++checksumFailures_ >= settings.checksumLimit) {
            record(block.fields, &block, BlockReply::None, ReplyReason::BadChecksum,
                   Tap18Code::ChecksumErrors);
            disconnect(Tap18Code::ChecksumErrors);
            return;
        }
        answer(Tap18Code::ChecksumError, Nak);
        record(block.fields, &block, BlockReply::Nak, ReplyReason::BadChecksum,
               Tap18Code::ChecksumError);
        return;
    }
    checksumFailures_ = 0;
    if (!block.transparencyGood) {
        answer(Tap18Code::FormatError, Nak);
        record(block.fields, &block, BlockReply::Nak, ReplyReason::FormatError,
               Tap18Code::FormatError);
        return;
    }
    takeBlock(block, ReplyReason::Good);
}

BlockDecision Tap18Terminal::decide(const tap18::DecodedTap18Block& block, std::size_t index) const
{
    // The pager a continuation block is for is the transaction's.
    return line_.faults.block(index, [&]() -> std::string {
        if (!fields_.empty())
            return fields_.front();
        return block.fields.empty() ? std::string() : block.fields.front();
    });
}

void Tap18Terminal::takeBlock(const tap18::DecodedTap18Block& block, ReplyReason reason)
{
    auto field = block.fields.begin();
    if (fieldOpen_ && !fields_.empty() && field != block.fields.end()) {
        fields_.back() += *field;
        transactionBytes_ += field->size();
        ++field;
    }
    for (; field != block.fields.end(); ++field) {
        fields_.push_back(*field);
        transactionBytes_ += field->size() + 1;
    }
    fieldOpen_ = block.terminator == Us;

    const std::size_t message = messageLength(fields_);
    if (settings.maxMessage > 0 && message > static_cast<std::size_t>(settings.maxMessage)) {
        answer(Tap18Code::MaximumRejected, Rs);
        record(fields_, &block, BlockReply::Rej, ReplyReason::TooLong, Tap18Code::MaximumRejected);
        clearTransaction();
        return;
    }
    if (transactionBytes_ > MaxTransactionBytes) {
        answer(Tap18Code::MessageTooLong, Rs);
        record(fields_, &block, BlockReply::Rej, ReplyReason::TooLong, Tap18Code::MessageTooLong);
        clearTransaction();
        return;
    }
    if (block.terminator == Etb || block.terminator == Us) {
        // The transaction goes on in the next block: a bare ACK, no code.
        logPet("  DP: Sending ACK");
        sendReply(std::string { Ack, Cr });
        deadline_ = now() + t4Ms();
        return;
    }
    if (reason == ReplyReason::Good && (fields_.empty() || !validPagerId(fields_.front()))) {
        answer(Tap18Code::IllegalPagerId, Rs);
        record(fields_, &block, BlockReply::Rej, ReplyReason::PagerRule, Tap18Code::IllegalPagerId);
        clearTransaction();
        return;
    }
    answerPageSent();
    record(fields_, &block, BlockReply::Ack, reason, Tap18Code::PageSent);
    ++pages_;
    clearTransaction();
}

void Tap18Terminal::answer(Tap18Code code, char control)
{
    logPet("  DP: Sending " + std::to_string(static_cast<int>(code)) + " "
           + std::string(controlWord(control)));
    sendReply(codeLine(code, settings.maxMessage) + std::string { control, Cr });
    deadline_ = now() + t4Ms();
}

void Tap18Terminal::sendReply(std::string reply)
{
    send(fault_ == LineFault::Garble ? garbledReply(line_, std::move(reply)) : reply);
}

void Tap18Terminal::record(std::vector<std::string> fields, const tap18::DecodedTap18Block* block,
                           BlockReply reply, ReplyReason reason, Tap18Code code)
{
    TakenPage page;
    // A block after the first of its transaction is for the pager the first named.
    if (!fields_.empty())
        page.pager = fields_.front();
    page.fields = std::move(fields);
    if (block != nullptr) {
        page.checksumSent = block->checksumSent;
        page.checksumComputed = block->checksumComputed;
    }
    page.code = static_cast<int>(code);
    line_.report().pageAnswered(page, reply, reason);
}

void Tap18Terminal::clearTransaction()
{
    fields_.clear();
    fieldOpen_ = false;
    transactionBytes_ = 0;
}

} // namespace ostrella
