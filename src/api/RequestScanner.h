// SPDX-License-Identifier: MIT
// Where each HTTP/1.x request on a connection begins and ends, read from the bytes as they come,
// before the HTTP server parses them, and whether it may be served. A request is refused with a
// status of its own when its head is malformed or too large, names a version other than HTTP/1.0
// or HTTP/1.1, carries a Transfer-Encoding, a Content-Length that is not one plain decimal number
// or more than one, or a body larger than the bound, or asks for HEAD. Bounds count each request
// on its own, so pipelined requests are each within them. Each request says whether the
// connection closes after its answer (HTTP/1.0 without keep-alive, or "Connection: close").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella::api {

class RequestScanner {
public:
    struct Limits {
        std::size_t maxHeadBytes = 16 * 1024;
        std::size_t maxHeaders = 100;
        std::uint64_t maxBodyBytes = 64 * 1024;
    };

    // A request refused, with the status line's code and text and a reason for the client.
    struct Refusal {
        int status = 0; // 0: none
        std::string statusText;
        std::string reason;
    };

    explicit RequestScanner(Limits limits);
    RequestScanner()
        : RequestScanner(Limits())
    {
    }

    // Takes the next bytes of the connection. Stops at the first refusal (refused() then says
    // which); what comes after it is not looked at.
    void feed(std::string_view bytes);

    const Refusal& refusal() const { return refusal_; }
    bool refused() const { return refusal_.status != 0; }
    // Requests whose head and body have all come.
    std::uint64_t complete() const { return complete_; }
    // The number (1 first) of the first complete request after whose answer the connection
    // closes; 0 while there is none.
    std::uint64_t closeAfter() const { return closeAfter_; }
    // Part of a request has come, not all of it.
    bool midRequest() const { return inHead_ ? !head_.empty() : bodyLeft_ > 0; }

private:
    void refuse(int status, std::string text, std::string reason);
    // The head in head_ is whole: checks it and sets what its body is.
    void headDone();

    Limits limits_;
    Refusal refusal_;
    bool inHead_ = true;
    std::string head_; // the head so far (empty lines before it left out)
    std::uint64_t bodyLeft_ = 0;
    std::uint64_t complete_ = 0;
    std::uint64_t closeAfter_ = 0;
    bool closesAfterThis_ = false;
};

} // namespace ostrella::api
