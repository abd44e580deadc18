// SPDX-License-Identifier: MIT
// The records the window keeps: the last 1,000 pages as a table (newest row first) and the last
// 1,000 calls, with counts of those no longer kept. Records arrive from the simulator as a
// RecordSink and are kept as they came, bytes unchanged; only the table's cells show them through
// displayText(). Saved as JSON Lines, one object per record in the order they completed.
#pragma once

#include "ports/Records.h"

#include <QAbstractTableModel>
#include <QModelIndexList>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace ostrella {

class PagesModel : public QAbstractTableModel, public RecordSink {
    Q_OBJECT

public:
    // Pages kept (and as many calls); the oldest goes when one more arrives.
    static constexpr std::size_t MaxKept = 1000;

    enum Column { Time, Call, Line, Caller, Pager, Message, Reply, Reason, Findings, ColumnCount };

    explicit PagesModel(QObject* parent = nullptr);

    // A page record completed: it becomes row 0. Past MaxKept the oldest page (the last row) is
    // dropped and counted in olderPages().
    void pageRecorded(const PageRecord& page) override;
    // A call record completed: kept for the file, not shown. Past MaxKept the oldest is dropped
    // and counted in olderCalls().
    void callRecorded(const CallRecord& call) override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // The cells as shown: the local time of day "hh:mm:ss.mmm", the call's number, on a bank of
    // lines the call's line ("L3"; empty without a bank), the caller's address, the pager ID,
    // the message (for a packet that is no block, the packet itself), the reply ("ACK", "NAK",
    // "RS", "none"), the reason ("good", "bad-checksum", ...) and the rules of the findings on the
    // page's blocks ("block.checksum, block.gap"; empty when none), texts through displayText().
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The page shown in `row` (0: the newest). `row` must be below rowCount().
    const PageRecord& pageAt(int row) const;
    std::size_t callCount() const { return calls_.size(); }
    // Records received but no longer kept.
    long olderPages() const { return olderPages_; }
    long olderCalls() const { return olderCalls_; }

    // Every kept record, pages and calls, in the order they completed: one toJson() object per
    // line, each ended by LF.
    std::string jsonLines() const;
    // Writes jsonLines() to `path`, replacing the file only once everything is written. False
    // when it cannot: `error` (if given) then says why, and an existing file is left as it was.
    bool save(const QString& path, QString* error = nullptr) const;

    // The cells of `indexes` as tab-separated text: one line per row (top to bottom), the columns
    // from the leftmost to the rightmost selected, a cell left empty where it is not selected.
    // "" when nothing is selected. Cells hold no tab or line break: control characters are shown by
    // name.
    QString cellsText(const QModelIndexList& indexes) const;

signals:
    // olderPages() changed.
    void olderPagesChanged(long count);

private:
    // A record kept with the order in which it completed, so pages and calls interleave again in
    // the file.
    template<typename R> struct Kept {
        std::uint64_t order;
        R record;
    };

    // Oldest first; the table shows them reversed.
    std::deque<Kept<PageRecord>> pages_;
    std::deque<Kept<CallRecord>> calls_;
    std::uint64_t completed_ = 0;
    long olderPages_ = 0;
    long olderCalls_ = 0;
};

} // namespace ostrella
