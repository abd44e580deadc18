// SPDX-License-Identifier: MIT
// The control API (--api): a small HTTP/1.1 server beside the line's port, for tests written in
// any language. It reports the simulator's state, hands out the page, call and finding records
// kept in memory (and waits for a new page or finding without the caller sleeping), and sets the
// fault boxes, the fault plan, the profiles and the judge's ignored rules; with the test suite it
// reports the cases and their verdicts (and waits for one), and it draws a kept call's timeline.
// JSON in and out, UTF-8 (the timeline is SVG); records are the objects of the JSON Lines file. It
// runs on the simulator's thread and event loop: a request is handled between two engine events.
//
//   GET    /                                     the page: all of this in a browser
//   GET    /api/v1/status                        version, ports, engine state, faults, plan,
//                                                counts, the findings since start by level, and
//                                                the number of the last change among them
//   GET    /api/v1/status/wait?since=N&timeout=MS
//                                                the status as soon as its change number is
//                                                above N (default: the number now), or after MS
//   GET    /api/v1/pages?since=SEQ               the kept pages after SEQ (all without since)
//   GET    /api/v1/pages/wait?since=SEQ&timeout=MS
//                                                as soon as a page after SEQ is kept (default: the
//                                                newest now), or an empty list after MS (30000,
//                                                at most 60000)
//   DELETE /api/v1/pages                         forgets the kept pages (not the record file)
//   GET    /api/v1/calls?since=ID, DELETE /api/v1/calls   the same for call records
//   GET    /api/v1/findings?since=SEQ, GET /api/v1/findings/wait?since=SEQ&timeout=MS,
//   DELETE /api/v1/findings                      the same for the judge's findings
//   GET    /api/v1/ignore, PUT /api/v1/ignore    {"rules": [...]}: the rules whose findings are
//                                                left out; a PUT replaces the whole list
//   GET    /api/v1/faults, PUT /api/v1/faults    the fault boxes; a PUT may carry some keys only
//   GET    /api/v1/plan, PUT /api/v1/plan, DELETE /api/v1/plan
//                                                the fault plan; a PUT replaces the whole plan
//   GET    /api/v1/profiles, PUT /api/v1/profiles
//                                                the modem and terminal profiles for the next call
//   GET    /api/v1/suite                         with --suite: whether it runs, the case played,
//                                                the totals and every case with its verdict
//   GET    /api/v1/suite/wait?case=ID&timeout=MS as soon as case ID has its verdict (at once when
//                                                it has one), the case; undecided after MS
//   POST   /api/v1/suite/restart                 every verdict forgotten, the first case played
//   GET    /api/v1/calls/ID/timeline.svg         the kept call's timeline as an SVG picture (of a
//                                                call still on: its timeline so far)
//
// A request that fails changes nothing: 400 with {"error": "..."} naming the bad key or value,
// 404 for an unknown path, 405 for a method the path does not take, 413 for a body over 64 KiB;
// 403 and 415 for a request a browser was made to send from another site (see ApiGuard.h).
#pragma once

#include "app/ApiJson.h"
#include "engine/ModemProfile.h"
#include "engine/TerminalProfile.h"
#include "ports/Ports.h"
#include "qt/PlanTexts.h"
#include "sim/RecordStore.h"
#include "suite/Suite.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHttpServerResponder>
#include <QPointer>
#include <functional>
#include <list>
#include <optional>
#include <string>

class QTcpSocket;
class QTimer;

namespace ostrella {

class Simulator;
class ApiTcpServer;
class CallTimelines;

class ControlApi : public QAbstractHttpServer, public SuiteEvents {
    Q_OBJECT

public:
    // What the view lends the API: its fault boxes, how one is switched (the window ticks its
    // box, so the box follows at once) and how a plan is put in force (the window's Plan box
    // shows it); "" when the plan was applied, else why not, and nothing changed.
    struct Hooks {
        const TestPanel& panel;
        std::function<void(Box, bool)> setFault;
        std::function<std::string(const PlanTexts&)> applyPlan;
        // Set the terminal and modem profiles for the next call (the window's choices follow).
        std::function<void(TerminalProfile)> setTerminal;
        std::function<void(ModemProfile)> setModem;
    };

    // An answer: its status and JSON body.
    using Reply = api::Reply;

    // A request body above this is refused with 413.
    static constexpr qsizetype MaxBodyBytes = 64 * 1024;
    // A request's head (its request line and header fields) above this, or with more fields than
    // MaxHeaders, is refused with 431 and the rest of what its connection sends is dropped.
    static constexpr std::size_t MaxHeadBytes = 16 * 1024;
    static constexpr std::size_t MaxHeaders = 100;
    // Connections open at once, long polls left out; one more is closed as it comes.
    static constexpr int MaxConnections = 64;
    // Long polls waiting at once; one more gets 503.
    static constexpr std::size_t MaxWaiters = 256;
    static constexpr int DefaultWaitMs = 30'000;
    static constexpr int MaxWaitMs = 60'000;

    // Keeps the simulator's records from now on (a record sink of `sim`).
    ControlApi(Simulator& sim, Hooks hooks, QObject* parent = nullptr);
    ~ControlApi() override;

    // Listens on `address` (an IPv4 or IPv6 address; "localhost" is 127.0.0.1) and `port` (0: the
    // system chooses) and logs "HTTP Control API: API Port <p> Address <a> " to the system log.
    // "" on success, else why not (nothing is logged then).
    std::string listen(const std::string& address, int port);
    // The port listened on; 0 before.
    int port() const;
    // Whether it listens on a loopback address only (reachable from this machine alone).
    bool onLoopback() const;

    RecordStore& records() { return records_; }

    // The suite that /api/v1/suite reports and restarts, whose verdicts end its waits (this API
    // listens to it until set again or destroyed); nullptr: none, and those paths answer 404.
    // Waits on the suite set before are answered as their cases stand.
    void setSuite(Suite* suite);
    // Where the calls' timelines are kept, for /api/v1/calls/ID/timeline.svg; nullptr: none (404).
    void setCallTimelines(const CallTimelines* calls) { timelines_ = calls; }

    // SuiteEvents: a verdict answers the waits for its case.
    void caseDecided(const CaseResult& result) override;
    void suiteFinished(const SuiteTotals& /*totals*/) override { }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    // What a long poll waits for.
    enum class Awaited { Page, Finding, Case, Change };

    // A long poll waiting for a page, a finding, a case's verdict or a change of the status. One at
    // most per connection (the connection's next request answers it first), MaxWaiters in all.
    struct Waiter {
        quint64 id;
        QPointer<QTcpSocket> socket;
        QHttpServerResponder responder;
        long since;
        QTimer* timer;
        Awaited awaited;
        // For a case: its id.
        std::string caseId;
    };

    Reply route(const QHttpServerRequest& request, QTcpSocket* socket, bool& parked);
    // The routes of the kept records and their long polls; nothing for another path.
    std::optional<Reply> recordsRoute(const QHttpServerRequest& request, QTcpSocket* socket,
                                      bool& parked);
    Reply status() const;
    // The page's HTML, style or script for `path` ("/", "/page.css", "/page.js"); nothing for
    // another path.
    static std::optional<Reply> webPage(const QString& path);
    // The number of the last change of what the status tells (and of the calls on the lines and
    // the suite), counted from 0 as the status is asked for or watched.
    std::size_t changeNumber() const;
    // What the change number follows, as one text.
    std::string changeDigest() const;
    // Answers the status waiters when something changed; while there are any it looks again
    // every ChangeCheckMs (and after each change request), never on the line's own events: what
    // it compares grows with the lines, and a bank's records come hundreds a second.
    void noteChanges();
    Reply pages(const QHttpServerRequest& request) const;
    Reply calls(const QHttpServerRequest& request) const;
    Reply findings(const QHttpServerRequest& request) const;
    // A long poll for a page or a finding after the request's `since`.
    Reply waitFor(Awaited awaited, const QHttpServerRequest& request, QTcpSocket* socket,
                  bool& parked);
    // Holds the request on `socket` until it is answered or `timeoutMs` pass.
    void park(Awaited awaited, const QHttpServerRequest& request, QTcpSocket* socket, long since,
              std::string caseId, long timeoutMs);
    // The answer to a wait for `awaited` after `since` (for a case: `caseId`) as things stand.
    Reply answerOf(Awaited awaited, long since, const std::string& caseId) const;
    // The suite's routes and the calls' timelines; nothing for another path.
    std::optional<Reply> suiteRoute(const QHttpServerRequest& request, QTcpSocket* socket,
                                    bool& parked);
    Reply suiteReply() const;
    // The suite's state as the change number follows it.
    std::string suiteDigest() const;
    Reply restartSuite();
    // A long poll for the verdict of the request's case.
    Reply waitForCase(const QHttpServerRequest& request, QTcpSocket* socket, bool& parked);
    // The case `id` with "decided"; 404 when the suite has no such case.
    Reply caseReply(const std::string& id) const;
    // The timeline of the call whose id is `callId`; 404 when it is not kept.
    Reply timeline(const QString& callId) const;
    // The timeline so far of the call on a line whose record will have `id`; nothing when no
    // such call is on.
    std::optional<CallTimeline> openCallTimeline(long id) const;
    // {"pages": [...]} or {"findings": [...]}: the kept records after `since`.
    std::string awaitedJson(Awaited awaited, long since) const;
    Reply putIgnore(const QByteArray& body);
    std::string ignoreJson() const;
    Reply putFaults(const QByteArray& body);
    Reply putPlan(const QByteArray& body);
    Reply deletePlan();
    Reply putProfiles(const QByteArray& body);

    std::string faultsJson() const;
    std::string planJson() const;
    std::string profilesJson() const;
    // Answers the waiters for what was just kept.
    void onKept(Awaited awaited);
    // Answers the waiter with the records after its seq (none at its time-out) and forgets it;
    // without `answer` (its client has gone) it is only forgotten.
    void finishWait(std::list<Waiter>::iterator waiter, bool answer = true);
    // 400 for a query on a path that takes none (or a method that takes none).
    static std::optional<Reply> unknownQuery(const QHttpServerRequest& request);
    // 503 when MaxWaiters long polls wait already.
    std::optional<Reply> tooManyWaiters() const;
    void finishWait(quint64 id, bool answer);
    // The waiter on `socket`, if any, answered now: the connection's next request follows it.
    void finishWaitOn(QTcpSocket* socket);
    static void send(QHttpServerResponder& responder, const Reply& reply);

    Simulator& sim_;
    Hooks hooks_;
    RecordStore records_;
    Suite* suite_ = nullptr;
    const CallTimelines* timelines_ = nullptr;
    ApiTcpServer* server_ = nullptr;
    std::list<Waiter> waiters_;
    quint64 lastWaiter_ = 0;
    mutable std::string digest_;
    mutable std::size_t change_ = 0;
    QTimer* changeCheck_ = nullptr;
    static constexpr int ChangeCheckMs = 250;
};

} // namespace ostrella
