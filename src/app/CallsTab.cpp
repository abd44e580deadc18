// SPDX-License-Identifier: MIT
#include "app/CallsTab.h"

#include "app/RecordTable.h"
#include "qt/CallsModel.h"
#include "qt/LogDisplay.h"
#include "suite/TimelineSvg.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QSplitter>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace ostrella {

namespace {

// Column widths to start with, in average characters; the findings take the rest.
constexpr int CallColumnWidths[CallsModel::ColumnCount]
    = { 6, 6, 12, 8, 16, 10, 18, 5, 5, 4, 6, 14, 0 };

} // namespace

bool writeSvgFile(const QString& path, const std::string& svg, QString* error)
{
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly)
        && file.write(svg.data(), static_cast<qint64>(svg.size()))
            == static_cast<qint64>(svg.size())
        && file.commit();
    if (!written && error != nullptr)
        *error = file.errorString();
    return written;
}

CallsTab::CallsTab(CallsModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
{
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblCalls"));
    table_->setModel(&model_);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    setUpRecordTable(table_, CallColumnWidths, CallsModel::Findings, CallsModel::Line);
    showCaseColumns(model_.hasSuite());
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CallsTab::showSelected);
    connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, &CallsTab::rowsComing);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &CallsTab::rowsCame);
    connect(&model_, &QAbstractItemModel::dataChanged, this, &CallsTab::showTitle);

    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("lbCallTitle"));
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    save_ = new QPushButton(QStringLiteral("Save SVG\u2026"), this);
    save_->setObjectName(QStringLiteral("cmdSaveSvg"));
    save_->setToolTip(QStringLiteral("Write the selected call's timeline to an SVG file"));
    connect(save_, &QPushButton::clicked, this, &CallsTab::chooseFileAndSave);

    // The picture at its own size on white, scrolled when it is larger than the view.
    auto* sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("wdgTimelineSheet"));
    sheet->setAutoFillBackground(true);
    QPalette white = sheet->palette();
    white.setColor(QPalette::Window, Qt::white);
    sheet->setPalette(white);
    auto* sheetLayout = new QVBoxLayout(sheet);
    empty_ = new QLabel(sheet);
    empty_->setObjectName(QStringLiteral("lbTimelineEmpty"));
    empty_->setTextFormat(Qt::PlainText);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setForegroundRole(QPalette::PlaceholderText);
    picture_ = new QSvgWidget(sheet);
    picture_->setObjectName(QStringLiteral("svgTimeline"));
    sheetLayout->addWidget(empty_, 0, Qt::AlignHCenter | Qt::AlignTop);
    sheetLayout->addWidget(picture_, 0, Qt::AlignHCenter | Qt::AlignTop);
    sheetLayout->addStretch(1);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("scrTimeline"));
    scroll_->setWidgetResizable(true);
    scroll_->setWidget(sheet);

    auto* below = new QWidget(this);
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 4, 0, 0);
    belowLayout->setSpacing(4);
    auto* bar = new QHBoxLayout;
    bar->addWidget(title_, 1);
    bar->addWidget(save_, 0, Qt::AlignTop);
    belowLayout->addLayout(bar);
    belowLayout->addWidget(scroll_, 1);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(table_);
    splitter->addWidget(below);
    // A few rows above; the picture takes the most room.
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({ 200, 600 });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(splitter);

    if (model_.rowCount() > 0)
        table_->selectRow(model_.rowCount() - 1);
    showSelected();
}

void CallsTab::showLineColumn(bool shown)
{
    table_->setColumnHidden(CallsModel::Line, !shown);
}

void CallsTab::showCaseColumns(bool shown)
{
    table_->setColumnHidden(CallsModel::CaseId, !shown);
    table_->setColumnHidden(CallsModel::CaseVerdict, !shown);
}

int CallsTab::selectedRow() const
{
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CallsTab::rowsComing()
{
    const int row = selectedRow();
    follow_ = row < 0 || row == model_.rowCount() - 1;
}

void CallsTab::rowsCame()
{
    if (!follow_)
        return;
    table_->selectRow(model_.rowCount() - 1);
    table_->scrollToBottom();
}

void CallsTab::showSelected()
{
    const int row = selectedRow();
    const CallTimeline* timeline = row >= 0 ? model_.timelineAt(row) : nullptr;
    svg_ = timeline != nullptr ? timelineSvg(*timeline) : std::string();
    if (svg_.empty()) {
        picture_->hide();
        picture_->load(QByteArray());
        empty_->setText(row < 0 ? QStringLiteral("Select a call to see its timeline.")
                                : QStringLiteral("Call %1's timeline is no longer kept: only the "
                                                 "newest %2 calls keep theirs.")
                                      .arg(model_.callAt(row).id)
                                      .arg(CallTimelines::MaxCalls));
        empty_->show();
    } else {
        picture_->load(QByteArray::fromStdString(svg_));
        picture_->setFixedSize(picture_->renderer()->defaultSize());
        picture_->show();
        empty_->hide();
    }
    save_->setEnabled(!svg_.empty());
    scroll_->ensureVisible(0, 0);
    showTitle();
}

void CallsTab::showTitle()
{
    const int row = selectedRow();
    if (row < 0) {
        title_->clear();
        return;
    }
    const CallRecord& call = model_.callAt(row);
    QString text
        = QStringLiteral("Call %1 from %2 at %3, ended %4")
              .arg(call.id)
              .arg(latin1(call.caller),
                   QDateTime::fromMSecsSinceEpoch(call.start).toString(QStringLiteral("hh:mm:ss")),
                   latin1(call.ended));
    const QString caseId = model_.index(row, CallsModel::CaseId).data().toString();
    if (!caseId.isEmpty()) {
        text += QStringLiteral(". Case %1 %2: %3")
                    .arg(caseId, latin1(model_.caseTitleAt(row)),
                         model_.index(row, CallsModel::CaseVerdict).data().toString());
        if (!model_.reasonAt(row).empty())
            text += QStringLiteral(", ") + latin1(model_.reasonAt(row));
    }
    title_->setText(text);
}

void CallsTab::chooseFileAndSave()
{
    const int row = selectedRow();
    auto* dialog
        = new QFileDialog(this, QStringLiteral("Save the call's timeline"), QDir::homePath(),
                          QStringLiteral("SVG pictures (*.svg);;All files (*)"));
    dialog->setObjectName(QStringLiteral("dlgSaveSvg"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("svg"));
    dialog->selectFile(row >= 0 ? QStringLiteral("call-%1.svg").arg(model_.callAt(row).id)
                                : QStringLiteral("call.svg"));
    // The timeline shown now, whichever call is selected by the time the file is chosen.
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, svg = svg_](const QString& path) { (void)save(path, svg); });
    dialog->open();
}

bool CallsTab::saveTo(const QString& path)
{
    return save(path, svg_);
}

bool CallsTab::save(const QString& path, const std::string& svg)
{
    QString reason = QStringLiteral("no call with a kept timeline is selected");
    if (!svg.empty() && writeSvgFile(path, svg, &reason))
        return true;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ostrella"),
                                QStringLiteral("Cannot save the timeline to %1:\n%2")
                                    .arg(QDir::toNativeSeparators(path), reason),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("msgSaveSvgError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}

} // namespace ostrella
