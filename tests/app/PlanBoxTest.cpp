// SPDX-License-Identifier: MIT
// The Plan box on the Test tab: Apply puts the edited plan in force and the next dial follows it;
// a bad word changes nothing and shows the error in red; Clear; the plan set from the program.
#include "AppSupport.h"
#include "qt/PlanTexts.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

struct PlanControls {
    explicit PlanControls(frmHarnwick& window)
        : box(child<QGroupBox>(window, "framePlan"))
        , dials(child<QLineEdit>(*box, "txtPlanDials"))
        , blocks(child<QLineEdit>(*box, "txtPlanBlocks"))
        , numbers(child<QLineEdit>(*box, "txtPlanNumbers"))
        , pagers(child<QLineEdit>(*box, "txtPlanPagers"))
        , apply(child<QPushButton>(*box, "cmdPlanApply"))
        , clear(child<QPushButton>(*box, "cmdPlanClear"))
        , inForce(child<QLabel>(*box, "lbPlan"))
        , error(child<QLabel>(*box, "lbPlanError"))
    {
    }
    QStringList edits() const
    {
        return { dials->text(), blocks->text(), numbers->text(), pagers->text() };
    }
    bool errorShown() const { return error->isVisibleTo(box); }

    QGroupBox* box;
    QLineEdit* dials;
    QLineEdit* blocks;
    QLineEdit* numbers;
    QLineEdit* pagers;
    QPushButton* apply;
    QPushButton* clear;
    QLabel* inForce;
    QLabel* error;
};

} // namespace

TEST(PlanBox, SitsOnTheTestTabBesideTheFaultBoxes)
{
    const auto window = openWindow("0");
    PlanControls plan(*window);
    auto* tabs = child<QTabWidget>(*window, "SSTab1");
    EXPECT_EQ(plan.box->title(), QStringLiteral("Plan"));
    EXPECT_EQ(tabs->widget(1)->findChild<QGroupBox*>(QStringLiteral("framePlan")), plan.box);
    EXPECT_EQ(plan.box->parentWidget(), child<QGroupBox>(*window, "Frame1")->parentWidget());
    EXPECT_EQ(plan.apply->text(), QStringLiteral("Apply"));
    EXPECT_EQ(plan.clear->text(), QStringLiteral("Clear"));
    EXPECT_EQ(plan.inForce->text(), QStringLiteral("none"));
    EXPECT_EQ(plan.edits(), QStringList({ "", "", "", "" }));
    EXPECT_FALSE(plan.errorShown());
}

TEST(PlanBox, ApplyPutsTheEditedPlanInForceAndTheNextDialFollowsIt)
{
    const auto window = openWindow("0");
    PlanControls plan(*window);
    plan.dials->setText(QStringLiteral("busy"));
    plan.pagers->setText(QStringLiteral("1234=rej"));
    QTest::mouseClick(plan.apply, Qt::LeftButton);
    EXPECT_EQ(window->sim().plan().describe(), "dial busy; pager 1234=rej");
    EXPECT_EQ(plan.inForce->text(), QStringLiteral("dial busy; pager 1234=rej"));
    EXPECT_FALSE(plan.errorShown());

    Client client;
    ASSERT_TRUE(client.connectTo(portOf(*window)));
    client.send("ATDT5551234\r");
    const QByteArray answer = client.receive("BUSY\r\n", 8000);
    EXPECT_EQ(answer, QByteArray("BUSY\r\n")) << "the plan's BUSY, not CONNECT";
}

TEST(PlanBox, ABadWordChangesNothingAndShowsTheErrorInRed)
{
    const auto window = openWindow("0");
    PlanControls plan(*window);
    plan.blocks->setText(QStringLiteral("nak"));
    plan.apply->click();
    ASSERT_EQ(plan.inForce->text(), QStringLiteral("block nak"));

    plan.dials->setText(QStringLiteral("busy,bussy"));
    plan.blocks->setText(QStringLiteral("ack"));
    plan.numbers->setText(QStringLiteral("5550001=busy 5550002=nope"));
    plan.apply->click();

    EXPECT_EQ(window->sim().plan().describe(), "block nak") << "nothing of the bad plan applied";
    EXPECT_EQ(plan.inForce->text(), QStringLiteral("block nak"));
    ASSERT_TRUE(plan.errorShown());
    EXPECT_TRUE(plan.error->text().contains(QStringLiteral("'bussy'")))
        << plan.error->text().toStdString();
    EXPECT_TRUE(plan.error->text().contains(QStringLiteral("'nope'")));
    EXPECT_EQ(plan.error->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(plan.edits(), QStringList({ "busy,bussy", "ack", "5550001=busy 5550002=nope", "" }))
        << "the operator's text stays to be corrected";

    plan.dials->setText(QStringLiteral("busy"));
    plan.numbers->setText(QStringLiteral("5550001=busy"));
    plan.apply->click();
    EXPECT_EQ(window->sim().plan().describe(), "dial busy; block ack; number 5550001=busy");
    EXPECT_FALSE(plan.errorShown()) << "a good Apply takes the error away";

    plan.clear->click();
    EXPECT_TRUE(window->sim().plan().empty());
    EXPECT_EQ(plan.inForce->text(), QStringLiteral("none"));
    EXPECT_EQ(plan.edits(), QStringList({ "", "", "", "" }));
}

TEST(PlanBox, ThePlanSetFromTheProgramShowsInTheEdits)
{
    const auto window = openWindow("0");
    PlanControls plan(*window);
    QString error;
    ASSERT_TRUE(window->applyPlan(
        PlanTexts { " busy,connect ", "nak", "5550001=no-answer   5550002=no-carrier", "1234=rej" },
        &error))
        << error.toStdString();
    EXPECT_TRUE(error.isEmpty());
    const QString described = QStringLiteral("dial busy,connect; block nak; number "
                                             "5550001=no-answer; number 5550002=no-carrier; "
                                             "pager 1234=rej");
    EXPECT_EQ(QString::fromStdString(window->sim().plan().describe()), described);
    EXPECT_EQ(plan.inForce->text(), described);
    EXPECT_EQ(
        plan.edits(),
        QStringList({ "busy,connect", "nak", "5550001=no-answer 5550002=no-carrier", "1234=rej" }));

    EXPECT_FALSE(window->applyPlan(PlanTexts { "", "", "", "1234=maybe" }, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("pagers: 'maybe'"))) << error.toStdString();
    EXPECT_EQ(QString::fromStdString(window->sim().plan().describe()), described);
    EXPECT_EQ(plan.edits()[3], QStringLiteral("1234=rej")) << "the edits still show the plan";
    EXPECT_TRUE(plan.errorShown());
}
