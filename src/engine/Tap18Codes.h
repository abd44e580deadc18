// SPDX-License-Identifier: MIT
// The TAP 1.8 response codes (Appendix A of the protocol) with the texts the tap18 terminal sends
// after them. A message-sequence line is "code text" CR; in the texts of 214 and 517, "###"
// stands for the character maximum.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ostrella {

enum class Tap18Code {
    Version = 110,
    Processing = 111,
    MaxPages = 112,
    MaxTime = 113,
    Welcome = 114,
    Goodbye = 115,
    PageSent = 211,
    PageTruncated = 212,
    PageDeferred = 213,
    MaximumTruncated = 214,
    TimeOut = 501,
    UnexpectedCharacters = 502,
    ChecksumErrors = 503,
    ToneOnlyPager = 504,
    NumericOnlyPager = 505,
    InvalidPages = 506,
    InvalidLogon = 507,
    ServiceNotSupported = 508,
    InvalidPassword = 509,
    IllegalPagerId = 510,
    UnknownPagerId = 511,
    CannotDeliver = 512,
    MessageTooLong = 513,
    ChecksumError = 514,
    FormatError = 515,
    QuotaExceeded = 516,
    MaximumRejected = 517,
};

struct Tap18CodeText {
    Tap18Code code;
    std::string_view text;
};

inline constexpr std::array<Tap18CodeText, 27> Tap18CodeTexts { {
    { Tap18Code::Version, "1.8" },
    { Tap18Code::Processing, "Processing - please wait" },
    { Tap18Code::MaxPages, "Maximum pages entered" },
    { Tap18Code::MaxTime, "Maximum time reached" },
    { Tap18Code::Welcome, "Welcome" },
    { Tap18Code::Goodbye, "Goodbye" },
    { Tap18Code::PageSent, "Page(s) Sent Successfully" },
    { Tap18Code::PageTruncated, "Page sent, message truncated" },
    { Tap18Code::PageDeferred, "Page accepted, delivery deferred" },
    { Tap18Code::MaximumTruncated, "### character maximum, truncated" },
    { Tap18Code::TimeOut, "Time-out" },
    { Tap18Code::UnexpectedCharacters, "Unexpected characters before a block" },
    { Tap18Code::ChecksumErrors, "Excessive checksum errors" },
    { Tap18Code::ToneOnlyPager, "Tone-only pager" },
    { Tap18Code::NumericOnlyPager, "Numeric-only pager" },
    { Tap18Code::InvalidPages, "Too many invalid pages" },
    { Tap18Code::InvalidLogon, "Invalid logon" },
    { Tap18Code::ServiceNotSupported, "Service or category not supported" },
    { Tap18Code::InvalidPassword, "Invalid password" },
    { Tap18Code::IllegalPagerId, "Illegal pager ID" },
    { Tap18Code::UnknownPagerId, "Unknown pager ID" },
    { Tap18Code::CannotDeliver, "Temporarily cannot deliver" },
    { Tap18Code::MessageTooLong, "Message too long, rejected" },
    { Tap18Code::ChecksumError, "Checksum error" },
    { Tap18Code::FormatError, "Format error" },
    { Tap18Code::QuotaExceeded, "Quota exceeded" },
    { Tap18Code::MaximumRejected, "### character maximum, rejected" },
} };

constexpr std::string_view codeText(Tap18Code code)
{
    for (const Tap18CodeText& entry : Tap18CodeTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return {};
}

// The message-sequence line for `code`: "514 Checksum error" CR. `maximum` replaces "###" (at
// least three digits).
inline std::string codeLine(Tap18Code code, int maximum = 0)
{
    std::string text(codeText(code));
    if (const std::size_t at = text.find("###"); at != std::string::npos) {
        std::string digits = std::to_string(maximum);
        if (digits.size() < 3)
            digits.insert(0, 3 - digits.size(), '0');
        text.replace(at, 3, digits);
    }
    return std::to_string(static_cast<int>(code)) + " " + text + "\r";
}

} // namespace ostrella
