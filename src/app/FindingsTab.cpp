// SPDX-License-Identifier: MIT
#include "app/FindingsTab.h"

#include "app/RecordTable.h"
#include "judge/Finding.h"
#include "qt/FindingsModel.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace ostrella {

// The findings' rows without those of the ignored rules, in the model's order.
class IgnoredRulesFilter : public QSortFilterProxyModel {
public:
    explicit IgnoredRulesFilter(QObject* parent)
        : QSortFilterProxyModel(parent)
    {
    }
    const FindingsTab::Rules& rules() const { return ignored_; }
    // The ignored rules changed: rows are hidden or shown again.
    void setRules(FindingsTab::Rules rules)
    {
        ignored_ = std::move(rules);
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const QModelIndex index = sourceModel()->index(row, 0, parent);
        const QByteArray rule = index.data(FindingsModel::RuleRole).toString().toLatin1();
        return !ignored_.contains(std::string_view(rule.constData(), rule.size()));
    }

private:
    FindingsTab::Rules ignored_;
};

namespace {

// Column widths to start with, in average characters; the finding's text takes the rest.
constexpr int FindingColumnWidths[FindingsModel::ColumnCount] = { 13, 5, 4, 9, 24, 0 };

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* plainLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A small square in the level's colours, beside a rule in the list.
QIcon levelIcon(FindingLevel level)
{
    const FindingsModel::Colours colours = FindingsModel::levelColours(levelText(level));
    QPixmap square(12, 12);
    square.fill(colours.background);
    QPainter painter(&square);
    painter.setPen(colours.text);
    painter.drawRect(0, 0, 11, 11);
    return QIcon(square);
}

QString counted(long count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

} // namespace

FindingsTab::FindingsTab(FindingsModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
{
    filter_ = new IgnoredRulesFilter(this);
    filter_->setSourceModel(&model_);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblFindings"));
    table_->setModel(filter_);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    setUpRecordTable(table_, FindingColumnWidths, FindingsModel::Text, FindingsModel::Line);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FindingsTab::showSelected);
    // A selected row that goes (past the bound, or hidden) leaves nothing selected.
    connect(filter_, &QAbstractItemModel::rowsRemoved, this, &FindingsTab::showSelected);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(table_);
    splitter->addWidget(buildDetail());
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    counts_ = plainLabel("lbFindingsCount", this);
    older_ = plainLabel("lbFindingsOlder", this);
    connect(&model_, &FindingsModel::countsChanged, this, &FindingsTab::showCounts);
    connect(&model_, &FindingsModel::olderFindingsChanged, this, &FindingsTab::showOlder);
    showCounts();
    showOlder(model_.olderFindings());

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(counts_);
    bottom->addStretch(1);
    bottom->addWidget(older_);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(splitter, 1);
    leftLayout->addLayout(bottom);
    // The rules beside the findings; the findings take the rest.
    auto* sides = new QSplitter(Qt::Horizontal, this);
    sides->setChildrenCollapsible(false);
    sides->addWidget(left);
    QWidget* rulesBox = buildRulesBox();
    sides->addWidget(rulesBox);
    // A narrower window narrows the rules too, less than the findings.
    sides->setStretchFactor(0, 3);
    sides->setStretchFactor(1, 1);
    // Wide enough for every id beside its box and icon, with room for the scroll bar; a narrow
    // window may narrow it further.
    const QMargins margins = rulesBox->layout()->contentsMargins();
    const int rulesWidth = rules_->sizeHintForColumn(0) + 2 * rules_->frameWidth()
        + rules_->verticalScrollBar()->sizeHint().width() + margins.left() + margins.right() + 8;
    sides->setSizes({ 1000 - rulesWidth, rulesWidth });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(sides);
    showSelected();
}

QWidget* FindingsTab::buildDetail()
{
    auto* detail = new QWidget(this);
    auto* layout = new QVBoxLayout(detail);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    rule_ = plainLabel("lbFindingRule", detail);
    QFont bold = rule_->font();
    bold.setBold(true);
    rule_->setFont(bold);
    ref_ = plainLabel("lbFindingRef", detail);
    text_ = plainLabel("lbFindingText", detail);
    text_->setWordWrap(true);
    for (QLabel* label : { rule_, ref_, text_ })
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    evidence_ = new QPlainTextEdit(detail);
    evidence_->setObjectName(QStringLiteral("txtEvidence"));
    evidence_->setReadOnly(true);
    evidence_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    evidence_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    evidence_->setPlaceholderText(QStringLiteral("Select a finding to see its evidence: the bytes "
                                                 "concerned, as received."));
    layout->addWidget(rule_);
    layout->addWidget(ref_);
    layout->addWidget(text_);
    layout->addWidget(evidence_, 1);
    return detail;
}

QWidget* FindingsTab::buildRulesBox()
{
    auto* frame = new QGroupBox(QStringLiteral("Ignored rules"), this);
    frame->setObjectName(QStringLiteral("fraIgnoredRules"));
    auto* column = new QVBoxLayout(frame);
    rules_ = new QListWidget(frame);
    rules_->setObjectName(QStringLiteral("lstIgnoredRules"));
    rules_->setSelectionMode(QAbstractItemView::NoSelection);
    rules_->setUniformItemSizes(true);
    // Narrowed, the ids are cut short; the tool tip names each in full.
    rules_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rules_->setTextElideMode(Qt::ElideRight);
    for (const JudgeRule& rule : judgeRules()) {
        auto* item = new QListWidgetItem(levelIcon(rule.level), latin1(rule.id), rules_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setToolTip(QStringLiteral("%1 (%2), %3: %4")
                             .arg(latin1(rule.id), latin1(levelText(rule.level)), latin1(rule.ref),
                                  latin1(rule.seen)));
    }
    connect(rules_, &QListWidget::itemChanged, this, &FindingsTab::ruleTicked);
    column->addWidget(rules_, 1);
    QLabel* help = plainLabel("lbIgnoredRules", frame);
    help->setWordWrap(true);
    help->setForegroundRole(QPalette::PlaceholderText);
    help->setText(QStringLiteral("Tick a rule the team has accepted: it is left out from then on "
                                 "(not recorded, written or counted) and its rows are hidden."));
    column->addWidget(help);
    rules_->setMinimumWidth(14 * rules_->fontMetrics().averageCharWidth());
    return frame;
}

void FindingsTab::showLineColumn(bool shown)
{
    table_->setColumnHidden(FindingsModel::Line, !shown);
}

const FindingsTab::Rules& FindingsTab::ignoredRules() const
{
    return filter_->rules();
}

void FindingsTab::showIgnoredRules(const Rules& rules)
{
    if (rules == filter_->rules())
        return;
    following_ = true;
    for (int row = 0; row < rules_->count(); ++row) {
        QListWidgetItem* item = rules_->item(row);
        const QByteArray id = item->text().toLatin1();
        const bool ticked = rules.contains(std::string_view(id.constData(), id.size()));
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    following_ = false;
    filter_->setRules(rules);
}

void FindingsTab::ruleTicked(QListWidgetItem* item)
{
    if (following_)
        return;
    Rules rules = filter_->rules();
    std::string id = item->text().toLatin1().toStdString();
    if (item->checkState() == Qt::Checked)
        rules.insert(std::move(id));
    else
        rules.erase(id);
    filter_->setRules(std::move(rules));
    emit ignoredRulesChanged();
}

void FindingsTab::showSelected()
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        for (QLabel* label : { rule_, ref_, text_ })
            label->clear();
        evidence_->clear();
        return;
    }
    const int row = filter_->mapToSource(rows.front()).row();
    const FindingRecord& finding = model_.findingAt(row);
    QString where = QStringLiteral("call %1").arg(finding.call);
    if (!finding.lineName.empty())
        where += QStringLiteral(" on %1").arg(QString::fromLatin1(finding.lineName.c_str()));
    else if (finding.line > 0)
        where += QStringLiteral(" on L%1").arg(finding.line);
    const QString time
        = QDateTime::fromMSecsSinceEpoch(finding.time).toString(QStringLiteral("hh:mm:ss.zzz"));
    rule_->setText(QStringLiteral("%1 (%2), %3 at %4")
                       .arg(latin1(finding.rule), latin1(finding.level), where, time));
    ref_->setText(latin1(finding.ref));
    text_->setText(model_.index(row, FindingsModel::Text).data().toString());
    evidence_->setPlainText(model_.evidenceText(row));
}

void FindingsTab::showOlder(long count)
{
    older_->setText(count == 1 ? QStringLiteral("1 older finding not shown")
                               : QStringLiteral("%1 older findings not shown").arg(count));
    older_->setVisible(count > 0);
}

void FindingsTab::showCounts()
{
    const FindingCounts& counts = model_.counts();
    counts_->setText(QStringLiteral("Since start: %1, %2, %3")
                         .arg(counted(counts.error, "error", "errors"),
                              counted(counts.warning, "warning", "warnings"),
                              counted(counts.note, "note", "notes")));
}

} // namespace ostrella
