// SPDX-License-Identifier: MIT
#include "app/PagesTab.h"

#include "app/RecordTable.h"
#include "qt/PagesModel.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace ostrella {

namespace {

// A table whose Ctrl+C copies every selected cell (a plain QTableView copies only the current
// one): the key, when no shortcut took it first, triggers the same Copy action as the menu.
class PagesTable : public QTableView {
public:
    explicit PagesTable(QWidget* parent)
        : QTableView(parent)
    {
    }
    void setCopyAction(QAction* copy) { copy_ = copy; }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (copy_ != nullptr && event->matches(QKeySequence::Copy)) {
            copy_->trigger();
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }

private:
    QAction* copy_ = nullptr;
};

// Column widths to start with, in average characters; the message takes the rest.
constexpr int PageColumnWidths[PagesModel::ColumnCount] = { 14, 6, 6, 16, 12, 0, 6, 14, 24 };

} // namespace

PagesTab::PagesTab(PagesModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
{
    auto* table = new PagesTable(this);
    table_ = table;
    table_->setObjectName(QStringLiteral("tblPages"));
    table_->setModel(&model_);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectItems);
    setUpRecordTable(table_, PageColumnWidths, PagesModel::Message, PagesModel::Line);

    copy_ = new QAction(QStringLiteral("Copy"), table_);
    copy_->setObjectName(QStringLiteral("mnuCopyPages"));
    copy_->setShortcut(QKeySequence::Copy);
    copy_->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(copy_);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    table->setCopyAction(copy_);
    connect(copy_, &QAction::triggered, this, &PagesTab::copySelection);

    older_ = new QLabel(this);
    older_->setObjectName(QStringLiteral("lbPagesOlder"));
    older_->setTextFormat(Qt::PlainText);
    showOlder(model_.olderPages());
    connect(&model_, &PagesModel::olderPagesChanged, this, &PagesTab::showOlder);

    save_ = new QPushButton(QStringLiteral("Save\u2026"), this);
    save_->setObjectName(QStringLiteral("cmdSavePages"));
    save_->setToolTip(QStringLiteral("Write the pages and calls kept to a JSON Lines file"));
    connect(save_, &QPushButton::clicked, this, &PagesTab::chooseFileAndSave);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(older_);
    bottom->addStretch(1);
    bottom->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);
}

void PagesTab::copySelection()
{
    const QString text = model_.cellsText(table_->selectionModel()->selectedIndexes());
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void PagesTab::chooseFileAndSave()
{
    auto* dialog = new QFileDialog(this, QStringLiteral("Save pages"), QDir::homePath(),
                                   QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    dialog->setObjectName(QStringLiteral("dlgSavePages"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("jsonl"));
    dialog->selectFile(QStringLiteral("pages.jsonl"));
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& path) { (void)saveTo(path); });
    dialog->open();
}

bool PagesTab::saveTo(const QString& path)
{
    QString reason;
    if (model_.save(path, &reason))
        return true;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ostrella"),
                                QStringLiteral("Cannot save the pages to %1:\n%2")
                                    .arg(QDir::toNativeSeparators(path), reason),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("msgSavePagesError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return false;
}

void PagesTab::showOlder(long count)
{
    older_->setText(count == 1 ? QStringLiteral("1 older page not shown")
                               : QStringLiteral("%1 older pages not shown").arg(count));
    older_->setVisible(count > 0);
}

} // namespace ostrella

namespace ostrella {

void PagesTab::showLineColumn(bool shown)
{
    table_->setColumnHidden(PagesModel::Line, !shown);
}

} // namespace ostrella
