// SPDX-License-Identifier: MIT
// The Plan box on the Test tab: the fault plan in four edits (dials, blocks, numbers, pagers),
// Apply and Clear, the plan in force and, after a bad Apply, the error in red.
#pragma once

#include "qt/PlanTexts.h"

#include <QGroupBox>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ostrella {

class FaultPlan;

class PlanBox : public QGroupBox {
    Q_OBJECT

public:
    explicit PlanBox(QWidget* parent = nullptr);

    // The plan the box shows and changes; it must outlive the box's use (nullptr: none yet).
    void setPlan(FaultPlan* plan);

    // Puts the plan `texts` describe in force (see applyPlanTexts) and shows it: the edits hold
    // the texts tidied, the label the plan as FaultPlan::describe() says it. When a text is bad
    // the plan and the edits stay as they were, the error shows in red and is returned in `error`
    // (if given), and false is returned.
    bool apply(const PlanTexts& texts, QString* error = nullptr);
    // The texts in the edits now.
    PlanTexts edited() const;

private:
    void applyEdits();
    void clearPlan();
    void showError(const QString& error);
    void showInForce();

    FaultPlan* plan_ = nullptr;
    QLineEdit* dials_ = nullptr;
    QLineEdit* blocks_ = nullptr;
    QLineEdit* numbers_ = nullptr;
    QLineEdit* pagers_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* clear_ = nullptr;
    QLabel* inForce_ = nullptr;
    QLabel* error_ = nullptr;
};

} // namespace ostrella
