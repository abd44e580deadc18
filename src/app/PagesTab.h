// SPDX-License-Identifier: MIT
// The Pages tab: the pages received, newest on top, from the window's PagesModel; a count of the
// older pages no longer shown; copying cells as tab-separated text (Ctrl+C or the context menu);
// saving every kept record as JSON Lines.
#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QPushButton;
class QTableView;

namespace ostrella {

class PagesModel;

class PagesTab : public QWidget {
    Q_OBJECT

public:
    // Shows `model`, which must outlive the tab.
    explicit PagesTab(PagesModel& model, QWidget* parent = nullptr);

    // The Line column, hidden unless the window serves a bank of lines.
    void showLineColumn(bool shown);

    // Copy: the selected cells go to the clipboard as tab-separated text, one line per row.
    // Nothing selected leaves the clipboard as it was.
    void copySelection();
    // Save...: a save dialog (window-modal, not blocking) asks for the file, then saveTo().
    void chooseFileAndSave();
    // Writes every kept record to `path`. When that fails a message box (not blocking) names the
    // file and the reason, and false is returned.
    bool saveTo(const QString& path);

private:
    void showOlder(long count);

    PagesModel& model_;
    QTableView* table_ = nullptr;
    QLabel* older_ = nullptr;
    QPushButton* save_ = nullptr;
    QAction* copy_ = nullptr;
};

} // namespace ostrella
