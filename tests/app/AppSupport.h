// SPDX-License-Identifier: MIT
// Helpers for the shell tests: a window started in-process on a port of the system's choosing, its
// logs as text, and a TCP client that collects what the simulator sends. Every wait runs the event
// loop against a deadline.
#pragma once

#include "app/frmHarnwick.h"
#include "ports/Records.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>

class QListWidget;

namespace ostrella::apptest {

// The window's (or any object's) child named `name`; a missing one fails the test.
template<typename T> T* child(QObject& parent, const char* name)
{
    auto* found = parent.findChild<T*>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Wall-clock ms of a local time on 2026-12-08.
std::int64_t localMs(int hour, int minute, int second, int ms);

// A page record as a good block from 127.0.0.1 makes it, answered ACK at 09:05:01.023 local time.
PageRecord page(long seq, const std::string& pager, const std::string& message);

// A finding of `rule` at `level` in `call` at 09:05:02.040 local time, its ref "TAP 1.8 <rule>" and
// its text "text of <rule>".
FindingRecord finding(long seq, const std::string& rule, const std::string& level, long call,
                      const std::string& evidence);

// A window built as the program builds it, shown offscreen, that does not quit the application.
// Port "0" lets the system choose a free port; portOf() then says which.
// With `lines` above 1, over a bank of that many lines.
std::unique_ptr<frmHarnwick> openWindow(const std::string& portArgument, int lines = 1);

// The port the window listens on (the one taken, for port 0).
int portOf(frmHarnwick& window);
// The window's engine timer.
QTimer& engineTimer(frmHarnwick& window);

// The program's version as the caption and the start-up line write it: "V1.0(1)".
QString versionWord();

// A log's lines as shown, oldest first, without the "hh:mm:ss :  " stamp.
QStringList logTexts(const QListWidget& list);
QStringList systemLog(frmHarnwick& window);
QStringList petLog(frmHarnwick& window);

// Waits until `window`'s system (or PET) log shows `text` as a whole line.
bool waitForSystemLine(frmHarnwick& window, const QString& text, int timeoutMs = 3000);
bool waitForPetLine(frmHarnwick& window, const QString& text, int timeoutMs = 3000);

// A log line's expected display, with its control characters named.
QString shown(const std::string& bytes);

class Client : public QObject {
    Q_OBJECT

public:
    Client();
    bool connectTo(int port, int timeoutMs = 3000);
    void send(const QByteArray& bytes);
    // Waits until `expected` has arrived; returns all bytes received so far and forgets them.
    // Returns what came when the deadline passed first.
    QByteArray receive(const QByteArray& expected, int timeoutMs = 3000);
    // Everything received and not yet taken.
    QByteArray pending() const { return received_; }
    bool waitDisconnected(int timeoutMs = 3000);
    void disconnectFromHost();

private:
    QTcpSocket socket_;
    QByteArray received_;
};

} // namespace ostrella::apptest
