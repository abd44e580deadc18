// SPDX-License-Identifier: MIT
// How the hayes modem says what it says: result words (ATV1) and numbers (ATV0), the rate CONNECT
// names, and the framing of results and information texts.
#include "engine/HayesModem.h"
#include "link/ControlChars.h"

#include <array>
#include <utility>

namespace ostrella {

namespace {

// The Hayes numbers of CONNECT at the standard rates; 1 is also the plain CONNECT (ATX0).
constexpr std::array<std::pair<unsigned, unsigned>, 6> ConnectCodes { {
    { 300, 1 },
    { 1200, 5 },
    { 2400, 10 },
    { 4800, 11 },
    { 9600, 12 },
    { 19200, 14 },
} };

} // namespace

std::string_view resultWord(HayesResult result)
{
    switch (result) {
    case HayesResult::Ok:
        return "OK";
    case HayesResult::Connect:
        return "CONNECT";
    case HayesResult::Ring:
        return "RING";
    case HayesResult::NoCarrier:
        return "NO CARRIER";
    case HayesResult::Error:
        return "ERROR";
    case HayesResult::NoDialtone:
        return "NO DIALTONE";
    case HayesResult::Busy:
        return "BUSY";
    case HayesResult::NoAnswer:
        return "NO ANSWER";
    }
    return "ERROR";
}

std::string HayesModem::connectWord(unsigned lineRate)
{
    return "CONNECT " + std::to_string(connectRate(lineRate));
}

unsigned HayesModem::connectCode(unsigned lineRate)
{
    const unsigned rate = connectRate(lineRate);
    for (const auto& [bps, code] : ConnectCodes) {
        if (bps == rate)
            return code;
    }
    return static_cast<unsigned>(HayesResult::Connect);
}

void HayesModem::result(HayesResult r)
{
    frame(resultWord(r), static_cast<unsigned>(r));
}

void HayesModem::connected()
{
    if (settings_.level == 0)
        result(HayesResult::Connect);
    else
        frame(connectWord(line_.lineRate()), connectCode(line_.lineRate()));
}

void HayesModem::frame(std::string_view word, unsigned code)
{
    if (settings_.quiet)
        return;
    if (settings_.verbose)
        out_.append("\r\n").append(word).append("\r\n");
    else
        out_.append(std::to_string(code)).push_back(Cr);
}

void HayesModem::info(std::string_view text)
{
    if (text.empty())
        return;
    if (settings_.verbose)
        out_.append("\r\n").append(text).append("\r\n");
    else
        out_.append(text).append("\r\n");
}

} // namespace ostrella
