// SPDX-License-Identifier: MIT
#include "api/RequestScanner.h"

#include "text/Blanks.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ostrella::api {

namespace {

// A token character of HTTP (a method or a header name).
bool isTokenChar(unsigned char c)
{
    return std::isalnum(c) != 0
        || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return isTokenChar(static_cast<unsigned char>(c));
    });
}

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

// The head's lines, each without its CR LF (or LF), the empty last one left out.
std::vector<std::string_view> linesOf(std::string_view head)
{
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const std::size_t end = head.find('\n');
        std::string_view line = head.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        head.remove_prefix(end + 1);
    }
    return lines;
}

} // namespace

RequestScanner::RequestScanner(Limits limits)
    : limits_(limits)
{
}

void RequestScanner::refuse(int status, std::string text, std::string reason)
{
    if (refused())
        return;
    refusal_ = Refusal { status, std::move(text), std::move(reason) };
}

void RequestScanner::feed(std::string_view bytes)
{
    while (!bytes.empty() && !refused() && closeAfter_ == 0) {
        if (inHead_) {
            const char c = bytes.front();
            bytes.remove_prefix(1);
            // Empty lines before a request line are passed over.
            if (head_.empty() && (c == '\r' || c == '\n'))
                continue;
            if (head_.size() >= limits_.maxHeadBytes) {
                refuse(431, "Request Header Fields Too Large",
                       "the request's head is larger than "
                           + std::to_string(limits_.maxHeadBytes / 1024) + " KiB");
                return;
            }
            head_.push_back(c);
            if (c == '\n' && (head_.ends_with("\n\n") || head_.ends_with("\n\r\n")))
                headDone();
            continue;
        }
        const auto taken
            = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, bytes.size()));
        bytes.remove_prefix(taken);
        bodyLeft_ -= taken;
        if (bodyLeft_ == 0) {
            inHead_ = true;
            ++complete_;
            if (closesAfterThis_)
                closeAfter_ = complete_;
        }
    }
}

void RequestScanner::headDone()
{
    const std::vector<std::string_view> lines = linesOf(head_);
    const std::string_view requestLine = lines.empty() ? std::string_view() : lines.front();
    const std::size_t first = requestLine.find(' ');
    const std::size_t second = first == std::string_view::npos ? std::string_view::npos
                                                               : requestLine.find(' ', first + 1);
    const std::string_view method = requestLine.substr(0, first);
    const std::string_view target = second == std::string_view::npos
        ? std::string_view()
        : requestLine.substr(first + 1, second - first - 1);
    const std::string_view version
        = second == std::string_view::npos ? std::string_view() : requestLine.substr(second + 1);
    const bool plainTarget = !target.empty() && target.front() == '/'
        && std::none_of(target.begin(), target.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == '\x7f'; });
    if (!isToken(method) || !plainTarget || version.find(' ') != std::string_view::npos
        || !version.starts_with("HTTP/")) {
        refuse(400, "Bad Request", "the request line is not METHOD /path HTTP/1.1");
        return;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        refuse(505, "HTTP Version Not Supported", "only HTTP/1.1 and HTTP/1.0 are served");
        return;
    }
    if (method == "HEAD") {
        refuse(405, "Method Not Allowed", "HEAD is not served: ask with GET");
        return;
    }
    if (lines.size() - 1 > limits_.maxHeaders) {
        refuse(431, "Request Header Fields Too Large",
               "more than " + std::to_string(limits_.maxHeaders) + " header fields");
        return;
    }
    bool keepAlive = version == "HTTP/1.1";
    bool lengthSeen = false;
    std::uint64_t length = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t colon = line.find(':');
        if (line.front() == ' ' || line.front() == '\t') {
            refuse(400, "Bad Request", "a header field folded over more than one line");
            return;
        }
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
            refuse(400, "Bad Request", "a header field that is not 'Name: value'");
            return;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = withoutBlanks(line.substr(colon + 1));
        if (sameWord(name, "Transfer-Encoding")) {
            refuse(501, "Not Implemented",
                   "a Transfer-Encoding (a chunked body) is not taken: send a Content-Length");
            return;
        }
        if (sameWord(name, "Content-Length")) {
            const bool digits = !value.empty()
                && std::all_of(value.begin(), value.end(),
                               [](char c) { return c >= '0' && c <= '9'; });
            if (lengthSeen || !digits) {
                refuse(400, "Bad Request",
                       lengthSeen ? "more than one Content-Length"
                                  : "a Content-Length that is not a decimal number of bytes");
                return;
            }
            lengthSeen = true;
            // Beyond the bound as soon as it has more digits than the bound can have.
            for (const char c : value) {
                length = length * 10 + static_cast<std::uint64_t>(c - '0');
                if (length > limits_.maxBodyBytes)
                    break;
            }
            if (length > limits_.maxBodyBytes) {
                refuse(413, "Payload Too Large",
                       "the body is larger than " + std::to_string(limits_.maxBodyBytes / 1024)
                           + " KiB");
                return;
            }
        }
        if (sameWord(name, "Connection")) {
            std::string_view tokens = value;
            while (!tokens.empty()) {
                const std::size_t comma = tokens.find(',');
                const std::string_view token = withoutBlanks(tokens.substr(0, comma));
                if (sameWord(token, "close"))
                    keepAlive = false;
                else if (sameWord(token, "keep-alive") && version == "HTTP/1.0")
                    keepAlive = true;
                tokens = comma == std::string_view::npos ? std::string_view()
                                                         : tokens.substr(comma + 1);
            }
        }
    }
    head_.clear();
    closesAfterThis_ = !keepAlive;
    bodyLeft_ = length;
    inHead_ = length > 0 ? false : true;
    if (length == 0) {
        ++complete_;
        if (closesAfterThis_)
            closeAfter_ = complete_;
    }
}

} // namespace ostrella::api
