// SPDX-License-Identifier: MIT
#include "qt/CallsModel.h"

#include "qt/FindingsModel.h"

#include <QDateTime>
#include <QFont>
#include <QTimer>
#include <algorithm>

namespace ostrella {

namespace {

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString counted(long count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString findingsText(const FindingCounts& counts)
{
    QStringList parts;
    if (counts.error > 0)
        parts << counted(counts.error, "error", "errors");
    if (counts.warning > 0)
        parts << counted(counts.warning, "warning", "warnings");
    if (counts.note > 0)
        parts << counted(counts.note, "note", "notes");
    return parts.join(QStringLiteral(", "));
}

// The worst level among the findings; "" for none.
std::string_view worstLevel(const FindingCounts& counts)
{
    return counts.error > 0  ? "error"
        : counts.warning > 0 ? "warning"
        : counts.note > 0    ? "note"
                             : "";
}

} // namespace

CallsModel::Colours CallsModel::verdictColours(std::string_view verdict)
{
    const std::optional<Verdict> known = verdictOf(verdict);
    if (!known)
        return {};
    switch (*known) {
    case Verdict::Pass:
        return { QColor(0xDA, 0xFB, 0xE1), QColor(0x11, 0x63, 0x29) };
    case Verdict::NonStrict:
        return { QColor(0xFF, 0xF8, 0xC5), QColor(0x7D, 0x4E, 0x00) };
    case Verdict::Info:
        return { QColor(0xDD, 0xF4, 0xFF), QColor(0x05, 0x50, 0xAE) };
    case Verdict::Fail:
        return { QColor(0xFF, 0xEB, 0xE9), QColor(0xA4, 0x0E, 0x26) };
    case Verdict::NoShow:
        return { QColor(0xEA, 0xEE, 0xF2), QColor(0x57, 0x60, 0x6A) };
    }
    return {};
}

CallsModel::CallsModel(CallTimelines& calls, QObject* parent)
    : QAbstractTableModel(parent)
    , calls_(calls)
{
    for (const CallTimelines::Call& call : calls_.calls())
        rows_.push_back(Row { call.record, {}, {}, std::nullopt, {} });
    calls_.setListener([this](const CallTimelines::Call& call) { callKept(call); });
}

CallsModel::~CallsModel()
{
    calls_.setListener({});
    if (suite_ != nullptr)
        suite_->removeListener(this);
}

void CallsModel::setSuite(Suite* suite)
{
    if (suite_ != nullptr)
        suite_->removeListener(this);
    suite_ = suite;
    if (suite_ == nullptr)
        return;
    suite_->addListener(this);
    for (const Row& row : rows_)
        showCaseOf(row.record.id);
}

void CallsModel::callKept(const CallTimelines::Call& call)
{
    const int row = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back(Row { call.record, {}, {}, std::nullopt, {} });
    endInsertRows();
    if (rows_.size() > MaxKept) {
        beginRemoveRows(QModelIndex(), 0, 0);
        rows_.pop_front();
        endRemoveRows();
    }
    // The suite is told of the call after the store: it knows the call's case once this event
    // is over.
    if (suite_ != nullptr) {
        const long id = call.record.id;
        QTimer::singleShot(0, this, [this, id] { showCaseOf(id); });
    }
}

void CallsModel::showCaseOf(long id)
{
    const int row = rowOf(id);
    if (row < 0 || suite_ == nullptr)
        return;
    Row& shown = rows_[static_cast<std::size_t>(row)];
    std::string caseId = suite_->caseOfCall(id);
    if (caseId.empty() || caseId == shown.caseId)
        return;
    shown.caseId = std::move(caseId);
    const auto& results = suite_->results();
    const auto found = std::find_if(results.begin(), results.end(),
                                    [&](const CaseResult& r) { return r.id == shown.caseId; });
    if (found != results.end()) {
        shown.caseTitle = found->title;
        // A case decided while the call was on: its verdict is the one given with this call.
        if (found->verdict && !shown.verdict) {
            shown.verdict = std::string(verdictText(*found->verdict));
            shown.reason = found->reason;
        }
    }
    caseChanged(row);
}

void CallsModel::caseDecided(const CaseResult& result)
{
    for (long id : result.calls) {
        const int row = rowOf(id);
        if (row < 0)
            continue;
        Row& shown = rows_[static_cast<std::size_t>(row)];
        shown.caseId = result.id;
        shown.caseTitle = result.title;
        shown.verdict = result.verdict ? std::string(verdictText(*result.verdict)) : "pending";
        shown.reason = result.reason;
        caseChanged(row);
    }
}

void CallsModel::caseChanged(int row)
{
    emit dataChanged(index(row, CaseId), index(row, CaseVerdict));
}

int CallsModel::rowOf(long id) const
{
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                                     [](const Row& r, long n) { return r.record.id < n; });
    return it != rows_.end() && it->record.id == id ? static_cast<int>(it - rows_.begin()) : -1;
}

const CallRecord& CallsModel::callAt(int row) const
{
    return rows_[static_cast<std::size_t>(row)].record;
}

const std::string& CallsModel::caseTitleAt(int row) const
{
    return rows_[static_cast<std::size_t>(row)].caseTitle;
}

const std::string& CallsModel::reasonAt(int row) const
{
    return rows_[static_cast<std::size_t>(row)].reason;
}

const CallTimeline* CallsModel::timelineAt(int row) const
{
    const CallTimelines::Call* call = calls_.find(callAt(row).id);
    return call != nullptr && call->timeline ? &*call->timeline : nullptr;
}

int CallsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CallsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CallsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const CallRecord& call = row.record;
    const auto column = static_cast<Column>(index.column());
    const std::string verdict = row.verdict ? *row.verdict : row.caseId.empty() ? "" : "pending";
    switch (role) {
    case Qt::TextAlignmentRole:
        return column == Call || (column >= Ack && column <= Unanswered)
            ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter)
            : QVariant();
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        QColor background;
        QColor text;
        if (column == CaseVerdict) {
            const Colours colours = verdictColours(verdict);
            background = colours.background;
            text = colours.text;
        } else if (column == Findings) {
            const FindingsModel::Colours colours
                = FindingsModel::levelColours(worstLevel(call.findings));
            background = colours.background;
            text = colours.text;
        }
        if (!background.isValid())
            return QVariant();
        return role == Qt::BackgroundRole ? background : text;
    }
    case Qt::FontRole: {
        if (column != CaseVerdict)
            return QVariant();
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::ToolTipRole:
        if (column == Dials) {
            QStringList dials;
            for (const DialRecord& dial : call.dials)
                dials << latin1(dial.number) + QStringLiteral(": ") + latin1(dial.outcome);
            return dials.join(u'\n');
        }
        if (column == CaseId && !row.caseTitle.empty())
            return latin1(row.caseTitle);
        return column == CaseVerdict && !row.reason.empty() ? latin1(row.reason) : QVariant();
    case Qt::DisplayRole:
        break;
    default:
        return QVariant();
    }
    switch (column) {
    case Call:
        return QString::number(call.id);
    case Line:
        if (!call.lineName.empty())
            return latin1(call.lineName);
        return call.line > 0 ? QStringLiteral("L%1").arg(call.line) : QString();
    case Caller:
        return latin1(call.caller);
    case Start:
        return QDateTime::fromMSecsSinceEpoch(call.start).toString(QStringLiteral("hh:mm:ss"));
    case Dials: {
        QStringList outcomes;
        for (const DialRecord& dial : call.dials)
            outcomes << latin1(dial.outcome);
        return outcomes.join(QStringLiteral(", "));
    }
    case Ack:
        return call.ack;
    case Nak:
        return call.nak;
    case Rs:
        return call.rs;
    case Unanswered:
        return call.none;
    case Ended:
        return latin1(call.ended);
    case Findings:
        return findingsText(call.findings);
    case CaseId:
        return latin1(row.caseId);
    case CaseVerdict:
        return latin1(verdict);
    case ColumnCount:
        break;
    }
    return QVariant();
}

QVariant CallsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::ToolTipRole) {
        if (section >= Ack && section <= Unanswered)
            return QStringLiteral("Pages of the call answered so (None: not answered)");
        if (section == CaseId)
            return QStringLiteral("The case of the test suite that took the call");
        if (section == CaseVerdict)
            return QStringLiteral("The case's verdict with this call; its reason in the tool tip");
        return QVariant();
    }
    switch (static_cast<Column>(section)) {
    case Call:
        return QStringLiteral("Call");
    case Line:
        return QStringLiteral("Line");
    case Caller:
        return QStringLiteral("Caller");
    case Start:
        return QStringLiteral("Start");
    case Dials:
        return QStringLiteral("Dials");
    case Ack:
        return QStringLiteral("ACK");
    case Nak:
        return QStringLiteral("NAK");
    case Rs:
        return QStringLiteral("RS");
    case Unanswered:
        return QStringLiteral("None");
    case Ended:
        return QStringLiteral("Ended");
    case Findings:
        return QStringLiteral("Findings");
    case CaseId:
        return QStringLiteral("Case");
    case CaseVerdict:
        return QStringLiteral("Verdict");
    case ColumnCount:
        break;
    }
    return QVariant();
}

} // namespace ostrella
