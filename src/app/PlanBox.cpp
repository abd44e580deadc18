// SPDX-License-Identifier: MIT
#include "app/PlanBox.h"

#include "engine/FaultPlan.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrella {

namespace {

QString fromBytes(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toBytes(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QLineEdit* planEdit(const char* name, const QString& example, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(example);
    edit->setClearButtonEnabled(true);
    return edit;
}

QLabel* wrappedLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

PlanBox::PlanBox(QWidget* parent)
    : QGroupBox(QStringLiteral("Plan"), parent)
{
    setObjectName(QStringLiteral("framePlan"));
    dials_ = planEdit("txtPlanDials", QStringLiteral("busy,connect"), this);
    dials_->setToolTip(QStringLiteral("The Nth dial after Apply gets the Nth outcome, the last "
                                      "repeating: connect, busy, no-answer, no-carrier, "
                                      "no-dialtone"));
    blocks_ = planEdit("txtPlanBlocks", QStringLiteral("nak,ack"), this);
    blocks_->setToolTip(QStringLiteral("The Nth block of each call gets the Nth reply, the last "
                                       "repeating: ack, nak, rej, none; or the terminal's own "
                                       "reply with the line changed: garble (its control), "
                                       "corrupt (the block as read), drop (carrier lost after "
                                       "it)"));
    numbers_ = planEdit("txtPlanNumbers", QStringLiteral("5550001=busy 5550002=no-answer"), this);
    numbers_->setToolTip(QStringLiteral("A dial of exactly that number gets that outcome, before "
                                        "the dial plan"));
    pagers_ = planEdit("txtPlanPagers", QStringLiteral("1234=rej"), this);
    pagers_->setToolTip(QStringLiteral("Blocks for that pager ID get that reply, before the block "
                                       "plan"));

    apply_ = new QPushButton(QStringLiteral("Apply"), this);
    apply_->setObjectName(QStringLiteral("cmdPlanApply"));
    clear_ = new QPushButton(QStringLiteral("Clear"), this);
    clear_->setObjectName(QStringLiteral("cmdPlanClear"));
    inForce_ = wrappedLabel("lbPlan", this);
    error_ = wrappedLabel("lbPlanError", this);
    QPalette red = error_->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    error_->setPalette(red);
    error_->hide();
    auto* help = wrappedLabel("lbPlanHelp", this);
    help->setText(QStringLiteral("Consulted after the ticked boxes. Dials count from Apply, blocks "
                                 "from each call's first; the last word repeats."));
    help->setForegroundRole(QPalette::PlaceholderText);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Dials"), dials_);
    form->addRow(QStringLiteral("Blocks"), blocks_);
    form->addRow(QStringLiteral("Numbers"), numbers_);
    form->addRow(QStringLiteral("Pagers"), pagers_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply_);
    buttons->addWidget(clear_);
    form->addRow(buttons);
    form->addRow(QStringLiteral("In force"), inForce_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addWidget(error_);
    column->addWidget(help);

    connect(apply_, &QPushButton::clicked, this, &PlanBox::applyEdits);
    connect(clear_, &QPushButton::clicked, this, &PlanBox::clearPlan);
    for (QLineEdit* edit : { dials_, blocks_, numbers_, pagers_ })
        connect(edit, &QLineEdit::returnPressed, this, &PlanBox::applyEdits);
    showInForce();
}

void PlanBox::setPlan(FaultPlan* plan)
{
    plan_ = plan;
    showInForce();
}

bool PlanBox::apply(const PlanTexts& texts, QString* error)
{
    if (plan_ == nullptr)
        return false;
    const std::string errors = applyPlanTexts(*plan_, texts);
    if (!errors.empty()) {
        showError(fromBytes(errors));
        if (error != nullptr)
            *error = fromBytes(errors);
        return false;
    }
    const PlanTexts shown = tidied(texts);
    dials_->setText(fromBytes(shown.dials));
    blocks_->setText(fromBytes(shown.blocks));
    numbers_->setText(fromBytes(shown.numbers));
    pagers_->setText(fromBytes(shown.pagers));
    showError(QString());
    showInForce();
    return true;
}

PlanTexts PlanBox::edited() const
{
    return PlanTexts { toBytes(dials_->text()), toBytes(blocks_->text()), toBytes(numbers_->text()),
                       toBytes(pagers_->text()) };
}

void PlanBox::applyEdits()
{
    (void)apply(edited());
}

void PlanBox::clearPlan()
{
    (void)apply(PlanTexts {});
}

void PlanBox::showError(const QString& error)
{
    error_->setText(error);
    error_->setVisible(!error.isEmpty());
}

void PlanBox::showInForce()
{
    inForce_->setText(plan_ != nullptr ? fromBytes(plan_->describe()) : QStringLiteral("none"));
}

} // namespace ostrella
