// SPDX-License-Identifier: MIT
// The findings the window keeps: the last 1,000 as a table (newest row first), with a count of
// those no longer kept and the findings received since start by level. Findings arrive from the
// simulator as a RecordSink, each as it is made; their bytes are kept as they came (the evidence
// up to MaxEvidenceKept bytes) and only shown through displayText().
#pragma once

#include "ports/Records.h"
#include "qt/LogDisplay.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <cstddef>
#include <deque>
#include <string_view>

namespace ostrella {

class FindingsModel : public QAbstractTableModel, public RecordSink {
    Q_OBJECT

public:
    // Findings kept; the oldest goes when one more arrives.
    static constexpr std::size_t MaxKept = 1000;
    // Evidence bytes kept of each finding (as many as a log line shows); the rest is counted,
    // not kept.
    static constexpr std::size_t MaxEvidenceKept = MaxShownBytes;

    enum Column { Time, Call, Line, Level, Rule, Text, ColumnCount };
    // Any cell of a row: its finding's rule id (what the Findings tab filters on).
    static constexpr int RuleRole = Qt::UserRole + 1;

    // How a level looks: a dark word on a light tint (error red, warning amber, note grey-blue),
    // readable on a light or a dark palette. Invalid colours for any other text.
    struct Colours {
        QColor background;
        QColor text;
    };
    static Colours levelColours(std::string_view level);

    explicit FindingsModel(QObject* parent = nullptr);

    // A finding made: it becomes row 0 and is counted by its level (an unknown level is shown,
    // not counted). Past MaxKept the oldest (the last row) is dropped and counted in
    // olderFindings().
    void findingRecorded(const FindingRecord& finding) override;
    void pageRecorded(const PageRecord&) override { }
    void callRecorded(const CallRecord&) override { }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // The cells as shown: the local time of day "hh:mm:ss.mmm", the call's number, on a bank of
    // lines the call's line ("L3"; empty without a bank), the level word, the rule's id and the
    // text through displayText() (also the text cell's tool tip; the rule cell's is the ref).
    // The level cell is bold and coloured by levelColours().
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The finding shown in `row` (0: the newest), its evidence cut to MaxEvidenceKept bytes.
    // `row` must be below rowCount().
    const FindingRecord& findingAt(int row) const;
    // Its evidence as shown, control characters by name; past MaxEvidenceKept bytes it ends
    // "…(N bytes)", N the evidence's length as made.
    QString evidenceText(int row) const;

    // Findings received but no longer kept.
    long olderFindings() const { return olderFindings_; }
    // Findings received since start, kept or not, by level.
    const FindingCounts& counts() const { return counts_; }

signals:
    // olderFindings() changed.
    void olderFindingsChanged(long count);
    // counts() changed.
    void countsChanged();

private:
    struct Kept {
        FindingRecord record;
        // The evidence's length as made.
        std::size_t evidenceSize;
    };

    const Kept& keptAt(int row) const;

    // Oldest first; the table shows them reversed.
    std::deque<Kept> findings_;
    long olderFindings_ = 0;
    FindingCounts counts_;
};

} // namespace ostrella
