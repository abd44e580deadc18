// SPDX-License-Identifier: MIT
#include "qt/FindingsModel.h"

#include "judge/Finding.h"

#include <QDateTime>
#include <QFont>
#include <optional>

namespace ostrella {

FindingsModel::Colours FindingsModel::levelColours(std::string_view level)
{
    const std::optional<FindingLevel> known = levelOf(level);
    if (!known)
        return {};
    switch (*known) {
    case FindingLevel::Error:
        return { QColor(0xF8, 0xD0, 0xCC), QColor(0x9B, 0x1C, 0x1C) };
    case FindingLevel::Warning:
        return { QColor(0xFF, 0xE2, 0xA0), QColor(0x6B, 0x45, 0x00) };
    case FindingLevel::Note:
        return { QColor(0xD9, 0xE3, 0xEE), QColor(0x2E, 0x4A, 0x66) };
    }
    return {};
}

FindingsModel::FindingsModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void FindingsModel::findingRecorded(const FindingRecord& finding)
{
    Kept kept { finding, finding.evidence.size() };
    if (kept.evidenceSize > MaxEvidenceKept) {
        kept.record.evidence.resize(MaxEvidenceKept);
        kept.record.evidence.shrink_to_fit();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    findings_.push_back(std::move(kept));
    endInsertRows();
    if (const std::optional<FindingLevel> level = levelOf(finding.level)) {
        switch (*level) {
        case FindingLevel::Error:
            ++counts_.error;
            break;
        case FindingLevel::Warning:
            ++counts_.warning;
            break;
        case FindingLevel::Note:
            ++counts_.note;
            break;
        }
        emit countsChanged();
    }
    if (findings_.size() <= MaxKept)
        return;
    const int last = static_cast<int>(findings_.size()) - 1;
    beginRemoveRows(QModelIndex(), last, last);
    findings_.pop_front();
    endRemoveRows();
    ++olderFindings_;
    emit olderFindingsChanged(olderFindings_);
}

int FindingsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(findings_.size());
}

int FindingsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const FindingsModel::Kept& FindingsModel::keptAt(int row) const
{
    return findings_[findings_.size() - 1 - static_cast<std::size_t>(row)];
}

const FindingRecord& FindingsModel::findingAt(int row) const
{
    return keptAt(row).record;
}

QString FindingsModel::evidenceText(int row) const
{
    const Kept& kept = keptAt(row);
    QString shown = displayText(kept.record.evidence);
    if (kept.evidenceSize > kept.record.evidence.size())
        shown += QStringLiteral("\u2026(%1 bytes)").arg(kept.evidenceSize);
    return shown;
}

QVariant FindingsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const FindingRecord& finding = findingAt(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case RuleRole:
        return latin1(finding.rule);
    case Qt::TextAlignmentRole:
        return column == Call ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const Colours colours = levelColours(finding.level);
        if (column != Level || !colours.background.isValid())
            return QVariant();
        return role == Qt::BackgroundRole ? colours.background : colours.text;
    }
    case Qt::FontRole: {
        if (column != Level)
            return QVariant();
        // Only the weight: the rest comes from the table's font.
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::ToolTipRole:
        if (column == Rule)
            return latin1(finding.ref);
        return column == Text ? displayText(finding.text) : QVariant();
    case Qt::DisplayRole:
        break;
    default:
        return QVariant();
    }
    switch (column) {
    case Time:
        return QDateTime::fromMSecsSinceEpoch(finding.time)
            .toString(QStringLiteral("hh:mm:ss.zzz"));
    case Call:
        return QString::number(finding.call);
    case Line:
        if (!finding.lineName.empty())
            return QString::fromLatin1(finding.lineName.c_str());
        return finding.line > 0 ? QStringLiteral("L%1").arg(finding.line) : QString();
    case Level:
        return latin1(finding.level);
    case Rule:
        return latin1(finding.rule);
    case Text:
        return displayText(finding.text);
    case ColumnCount:
        break;
    }
    return QVariant();
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (static_cast<Column>(section)) {
    case Time:
        return QStringLiteral("Time");
    case Call:
        return QStringLiteral("Call");
    case Line:
        return QStringLiteral("Line");
    case Level:
        return QStringLiteral("Level");
    case Rule:
        return QStringLiteral("Rule");
    case Text:
        return QStringLiteral("Finding");
    case ColumnCount:
        break;
    }
    return QVariant();
}

} // namespace ostrella
