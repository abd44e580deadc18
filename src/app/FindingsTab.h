// SPDX-License-Identifier: MIT
// The Findings tab: the rules the client broke, newest on top, from the window's FindingsModel;
// below the table the selected finding's rule, ref, text and evidence; at the bottom the findings
// since start by level and a count of the older ones no longer kept; beside them the Ignored rules
// list, where a ticked rule's findings are left out and its rows hidden.
#pragma once

#include <QWidget>
#include <set>
#include <string>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QTableView;

namespace ostrella {

class FindingsModel;
class IgnoredRulesFilter;

class FindingsTab : public QWidget {
    Q_OBJECT

public:
    using Rules = std::set<std::string, std::less<>>;

    // Shows `model`, which must outlive the tab.
    explicit FindingsTab(FindingsModel& model, QWidget* parent = nullptr);

    // The Line column, hidden unless the window serves a bank of lines.
    void showLineColumn(bool shown);

    // The ignored rules as set elsewhere (the command line, the API): their boxes ticked and
    // their rows hidden. An id the list does not name is kept in ignoredRules() all the same.
    // Nothing happens when `rules` are the ones shown already.
    void showIgnoredRules(const Rules& rules);
    // The rules ticked, with any unknown id shown by showIgnoredRules().
    const Rules& ignoredRules() const;

signals:
    // The operator ticked or cleared a rule: ignoredRules() changed.
    void ignoredRulesChanged();

private:
    QWidget* buildDetail();
    QWidget* buildRulesBox();
    // The selected finding's rule, ref, text and evidence; all empty when none is selected.
    void showSelected();
    void ruleTicked(QListWidgetItem* item);
    void showOlder(long count);
    void showCounts();

    FindingsModel& model_;
    // Set while the boxes follow showIgnoredRules(), so no tick is taken for the operator's.
    bool following_ = false;
    // Holds the ignored rules.
    IgnoredRulesFilter* filter_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* rule_ = nullptr;
    QLabel* ref_ = nullptr;
    QLabel* text_ = nullptr;
    QPlainTextEdit* evidence_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* older_ = nullptr;
    QListWidget* rules_ = nullptr;
};

} // namespace ostrella
