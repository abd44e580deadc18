// SPDX-License-Identifier: MIT
// The calls the window lists on its Calls tab: a row for each call a CallTimelines keeps, oldest
// first (newest last), as many as it keeps records; and, with the test suite, the case that took
// each call and the verdict the case was given with it. The rows are copies of the call records;
// a call's timeline stays in the CallTimelines, looked up by the call's id.
#pragma once

#include "suite/CallTimelines.h"
#include "suite/Suite.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace ostrella {

class CallsModel : public QAbstractTableModel, public SuiteEvents {
    Q_OBJECT

public:
    static constexpr std::size_t MaxKept = CallTimelines::MaxRecords;

    enum Column {
        Call,
        CaseId,
        CaseVerdict,
        Line,
        Caller,
        Start,
        Dials,
        Ack,
        Nak,
        Rs,
        Unanswered,
        Ended,
        Findings,
        ColumnCount
    };

    // How a verdict looks, as in the HTML report: pass green, non-strict amber, info blue, fail
    // red, no-show grey. Invalid colours for "pending" and any other text.
    struct Colours {
        QColor background;
        QColor text;
    };
    static Colours verdictColours(std::string_view verdict);

    // Lists the calls `calls` holds and each one it keeps from now on (it takes the store's one
    // listener, until this model goes); `calls` must outlive the model.
    explicit CallsModel(CallTimelines& calls, QObject* parent = nullptr);
    ~CallsModel() override;

    // The suite whose cases the Case and Verdict columns show (this model listens to it until
    // set again or destroyed); nullptr: none. The suite must stay until it is set again.
    void setSuite(Suite* suite);
    bool hasSuite() const { return suite_ != nullptr; }

    // SuiteEvents: the calls of a decided case show it and its verdict.
    void caseDecided(const CaseResult& result) override;
    void suiteFinished(const SuiteTotals& /*totals*/) override { }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // The cells as shown: the call's id, the case that took it ("4.1"; its title in the tool tip)
    // and that case's verdict with it ("pass"; "pending" while the case is open; bold, in
    // verdictColours(), the reason in the tool tip), its line on a bank ("L3") or device, the
    // caller's address, the local time of day it began ("hh:mm:ss"), its dials' outcomes ("BUSY,
    // CONNECT"; the numbers in the tool tip), its pages by reply, how it ended ("eot", ...) and
    // its findings by level ("1 error, 2 warnings"; empty for none, the cell in the worst level's
    // colours).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The call shown in `row` (0: the oldest). `row` must be below rowCount().
    const CallRecord& callAt(int row) const;
    // The row of call `id`; -1 when it is not listed.
    int rowOf(long id) const;
    // The title of the case of the call in `row`, and the reason for its verdict with the call
    // ("" when none is known yet).
    const std::string& caseTitleAt(int row) const;
    const std::string& reasonAt(int row) const;
    // The kept timeline of the call in `row`; nullptr when it was let go.
    const CallTimeline* timelineAt(int row) const;

private:
    struct Row {
        CallRecord record;
        std::string caseId;
        std::string caseTitle;
        // Known once the case is decided.
        std::optional<std::string> verdict;
        std::string reason;
    };

    void callKept(const CallTimelines::Call& call);
    // The case of call `id` as the suite has it now (it learns of the call after the store),
    // with the verdict the case already has.
    void showCaseOf(long id);
    void caseChanged(int row);

    CallTimelines& calls_;
    Suite* suite_ = nullptr;
    std::deque<Row> rows_;
};

} // namespace ostrella
