// SPDX-License-Identifier: MIT
// The Calls tab: the calls kept with their timelines, newest last, from the window's CallsModel;
// below the table the selected call's timeline as the report draws it (timelineSvg()), in a
// scrolled view, under a line naming the call and, with the suite, its case, verdict and reason;
// Save SVG... writes the timeline to a file. While the newest call (or none) is selected, each new
// call is selected as it comes, so that the tab follows a run.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

class QLabel;
class QPushButton;
class QScrollArea;
class QSvgWidget;
class QTableView;

namespace ostrella {

class CallsModel;

// Writes `svg` to `path`, replacing the file only once everything is written. False when it
// cannot: `error` (if given) then says why, and an existing file is left as it was.
bool writeSvgFile(const QString& path, const std::string& svg, QString* error = nullptr);

class CallsTab : public QWidget {
    Q_OBJECT

public:
    // Shows `model`, which must outlive the tab.
    explicit CallsTab(CallsModel& model, QWidget* parent = nullptr);

    // The Line column, hidden unless the window serves a bank of lines or devices.
    void showLineColumn(bool shown);
    // The Case and Verdict columns, shown while the model has a suite.
    void showCaseColumns(bool shown);

    // The selected call's timeline as drawn; "" when no call is selected or its timeline is no
    // longer kept.
    const std::string& shownSvg() const { return svg_; }
    // Save SVG...: a save dialog (window-modal, not blocking) asks for the file, then saveTo().
    void chooseFileAndSave();
    // Writes the shown timeline to `path`. When there is none or the write fails a message box
    // (not blocking) says why, and false is returned.
    bool saveTo(const QString& path);

private:
    // The selected call's line and timeline; the empty view when none is selected.
    void showSelected();
    // The line above the timeline, for the selected row (its case may have been decided since).
    void showTitle();
    void rowsComing();
    void rowsCame();
    int selectedRow() const;
    bool save(const QString& path, const std::string& svg);

    CallsModel& model_;
    QTableView* table_ = nullptr;
    QLabel* title_ = nullptr;
    QPushButton* save_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QLabel* empty_ = nullptr;
    QSvgWidget* picture_ = nullptr;
    std::string svg_;
    // The newest row (or none) was selected when rows began to come in.
    bool follow_ = true;
};

} // namespace ostrella
