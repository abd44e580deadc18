// SPDX-License-Identifier: MIT
// Takes the accepting of a listening QTcpServer over from Qt. Qt's own loop keeps the first error
// its listener ever had, so once a caller has come and gone, running out of descriptors reads as a
// passing error: Qt then neither stops nor says so, and tries again on every pass of the event
// loop, a core busy for as long as the descriptors are out. Here a failed accept stops accepting,
// is said once, and is retried every `retryMs` until one succeeds; callers waiting meanwhile stay
// in the system's listen queue.
#pragma once

#include <QObject>
#include <functional>
#include <string>

class QSocketNotifier;
class QTcpServer;
class QTimer;

namespace ostrella {

class AcceptLoop : public QObject {
public:
    // `incoming` takes each accepted descriptor (non-blocking, close-on-exec); `failed` hears the
    // reason of the first accept that fails after one that did not ("Out of resources" when the
    // descriptors or memory are out).
    AcceptLoop(QTcpServer& server, int retryMs, std::function<void(int)> incoming,
               std::function<void(const std::string&)> failed);
    ~AcceptLoop() override;

    // Accepts for the server, which has just begun to listen.
    void watch();
    // Stops accepting, before the server closes.
    void unwatch();
    // True from a failed accept until one succeeds.
    bool failing() const { return failing_; }

    // Accepted in one go before the event loop serves the rest of the program again.
    static constexpr int AcceptsAtOnce = 256;

private:
    void acceptWaiting();

    QTcpServer& server_;
    int retryMs_;
    std::function<void(int)> incoming_;
    std::function<void(const std::string&)> failed_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* retry_;
    bool failing_ = false;
};

} // namespace ostrella
