// SPDX-License-Identifier: MIT
// Who may use the control API. It has no authentication, so a browser on this machine must not be
// made to use it for a page of another site:
// - a request whose Host names anything but this machine is refused: a page whose name an
//   attacker rebinds to this address still sends its own name (DNS rebinding);
// - a request that a page of another origin sends is refused (the API never allows another
//   origin either: it sends no CORS header, and a preflight gets 405);
// - a change (PUT, POST) needs a body declared JSON: a page elsewhere may send a form or plain
//   text without asking first, never JSON.
// A request without Host or Origin comes from no browser and is let through.
#pragma once

#include "app/ApiJson.h"

#include <QHostAddress>
#include <optional>

class QHttpServerRequest;

namespace ostrella::api {

// Why `request`, which reached this machine at `address` and `port`, is refused (403 or 415);
// nothing when it may go on.
std::optional<Reply> refusal(const QHttpServerRequest& request, const QHostAddress& address,
                             int port);

// The name in a Host header ("127.0.0.1:8080" -> "127.0.0.1", "[::1]:80" -> "::1"), in lower case.
QByteArray hostName(const QByteArray& host);

} // namespace ostrella::api
