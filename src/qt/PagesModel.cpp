// SPDX-License-Identifier: MIT
#include "qt/PagesModel.h"

#include "qt/LogDisplay.h"
#include "sim/RecordJson.h"

#include <QDateTime>
#include <QSaveFile>
#include <algorithm>
#include <map>

namespace ostrella {

namespace {

// What the Message column shows: the message, or for a packet that is no block (nothing computed
// over it) the packet the record keeps as its one field.
const std::string& shownMessage(const PageRecord& page)
{
    if (page.checksumComputed.empty() && page.message.empty() && !page.fields.empty())
        return page.fields.front();
    return page.message;
}

// The Findings column: the rules of the page's findings in the order made, `separator` between
// them.
QString findingsText(const PageRecord& page, const QString& separator)
{
    QStringList rules;
    rules.reserve(static_cast<qsizetype>(page.findings.size()));
    for (const std::string& rule : page.findings)
        rules << latin1(rule);
    return rules.join(separator);
}

} // namespace

PagesModel::PagesModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void PagesModel::pageRecorded(const PageRecord& page)
{
    beginInsertRows(QModelIndex(), 0, 0);
    pages_.push_back(Kept<PageRecord> { ++completed_, page });
    endInsertRows();
    if (pages_.size() <= MaxKept)
        return;
    const int last = static_cast<int>(pages_.size()) - 1;
    beginRemoveRows(QModelIndex(), last, last);
    pages_.pop_front();
    endRemoveRows();
    ++olderPages_;
    emit olderPagesChanged(olderPages_);
}

void PagesModel::callRecorded(const CallRecord& call)
{
    calls_.push_back(Kept<CallRecord> { ++completed_, call });
    if (calls_.size() <= MaxKept)
        return;
    calls_.pop_front();
    ++olderCalls_;
}

int PagesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(pages_.size());
}

int PagesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const PageRecord& PagesModel::pageAt(int row) const
{
    return pages_[pages_.size() - 1 - static_cast<std::size_t>(row)].record;
}

QVariant PagesModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    if (role == Qt::TextAlignmentRole && index.column() == Call)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    // A cut Findings cell still shows every rule in its tool tip, one a line.
    if (role == Qt::ToolTipRole && index.column() == Findings)
        return findingsText(pageAt(index.row()), QStringLiteral("\n"));
    if (role != Qt::DisplayRole)
        return QVariant();
    const PageRecord& page = pageAt(index.row());
    switch (static_cast<Column>(index.column())) {
    case Time:
        return QDateTime::fromMSecsSinceEpoch(page.time).toString(QStringLiteral("hh:mm:ss.zzz"));
    case Call:
        return QString::number(page.call);
    case Line:
        if (!page.lineName.empty())
            return QString::fromLatin1(page.lineName.c_str());
        return page.line > 0 ? QStringLiteral("L%1").arg(page.line) : QString();
    case Caller:
        return latin1(page.caller);
    case Pager:
        return displayText(page.pager);
    case Message:
        return displayText(shownMessage(page));
    case Reply:
        return latin1(page.reply);
    case Reason:
        return latin1(page.reason);
    case Findings:
        return findingsText(page, QStringLiteral(", "));
    case ColumnCount:
        break;
    }
    return QVariant();
}

QVariant PagesModel::headerData(int section, Qt::Orientation orientation, int role) const
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
    case Caller:
        return QStringLiteral("Caller");
    case Pager:
        return QStringLiteral("Pager ID");
    case Message:
        return QStringLiteral("Message");
    case Reply:
        return QStringLiteral("Reply");
    case Reason:
        return QStringLiteral("Reason");
    case Findings:
        return QStringLiteral("Findings");
    case ColumnCount:
        break;
    }
    return QVariant();
}

std::string PagesModel::jsonLines() const
{
    std::string out;
    auto page = pages_.begin();
    auto call = calls_.begin();
    while (page != pages_.end() || call != calls_.end()) {
        const bool pageFirst
            = call == calls_.end() || (page != pages_.end() && page->order < call->order);
        out += pageFirst ? toJson((page++)->record) : toJson((call++)->record);
        out += '\n';
    }
    return out;
}

bool PagesModel::save(const QString& path, QString* error) const
{
    const std::string text = jsonLines();
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly)
        && file.write(text.data(), static_cast<qint64>(text.size()))
            == static_cast<qint64>(text.size())
        && file.commit();
    if (!written && error != nullptr)
        *error = file.errorString();
    return written;
}

QString PagesModel::cellsText(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty())
        return QString();
    int left = indexes.front().column();
    int right = left;
    std::map<int, std::map<int, QString>> rows;
    for (const QModelIndex& index : indexes) {
        left = std::min(left, index.column());
        right = std::max(right, index.column());
        rows[index.row()][index.column()] = index.data().toString();
    }
    QStringList lines;
    for (const auto& [row, cells] : rows) {
        QStringList line;
        for (int column = left; column <= right; ++column) {
            const auto cell = cells.find(column);
            line << (cell == cells.end() ? QString() : cell->second);
        }
        lines << line.join(u'\t');
    }
    return lines.join(u'\n');
}

} // namespace ostrella
