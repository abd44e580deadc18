// SPDX-License-Identifier: MIT
// The control API over the window: a fault set through it ticks the box on the Test tab at once,
// a plan set through it shows in the Plan box, and a box ticked by hand is what the API reports.
#include "AppSupport.h"
#include "app/ControlApi.h"

#include <QCheckBox>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::apptest;

namespace {

// One request on a connection of its own; the answer's JSON body.
QJsonObject request(int port, const QByteArray& method, const QByteArray& path,
                    const QByteArray& body = {})
{
    Client client;
    EXPECT_TRUE(client.connectTo(port));
    client.send(
        method + " /api/v1/" + path
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    const QByteArray answer = client.receive("}", 3000);
    return QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
}

} // namespace

TEST(ApiWindow, FaultsAndThePlanSetThroughTheApiShowOnTheTestTab)
{
    auto window = openWindow("0");
    ControlApi api(window->sim(), window->apiHooks());
    ASSERT_EQ(api.listen("127.0.0.1", 0), "");
    EXPECT_TRUE(waitForSystemLine(
        *window,
        QStringLiteral("HTTP Control API: API Port <%1> Address <127.0.0.1> ").arg(api.port())));

    auto* nak = child<QCheckBox>(*window, "chkNAK");
    auto* disconnect = child<QCheckBox>(*window, "chkDisconnect");
    const QJsonObject faults
        = request(api.port(), "PUT", "faults", R"({"nak": true, "send_disconnect": true})");
    EXPECT_EQ(faults["nak"], true);
    EXPECT_TRUE(nak->isChecked());
    EXPECT_TRUE(disconnect->isChecked());

    child<QCheckBox>(*window, "chkBusy")->setChecked(true);
    EXPECT_EQ(request(api.port(), "GET", "faults")["busy"], true);

    request(api.port(), "PUT", "plan",
            R"({"dial": ["busy", "connect"], "pagers": {"1234": "rej"}})");
    EXPECT_EQ(child<QLineEdit>(*window, "txtPlanDials")->text(), QStringLiteral("busy,connect"));
    EXPECT_EQ(child<QLineEdit>(*window, "txtPlanPagers")->text(), QStringLiteral("1234=rej"));
    EXPECT_EQ(window->sim().plan().describe(), "dial busy,connect; pager 1234=rej");

    request(api.port(), "PUT", "profiles", R"({"terminal": "tap18", "modem": "hayes"})");
    EXPECT_EQ(child<QComboBox>(*window, "cboModem")->currentText(), QStringLiteral("hayes"));
    EXPECT_EQ(child<QComboBox>(*window, "cboTerminal")->currentText(), QStringLiteral("tap18"));
    EXPECT_EQ(window->sim().terminal(), TerminalProfile::Tap18);

    // A bad plan changes neither the plan nor the box.
    EXPECT_TRUE(request(api.port(), "PUT", "plan", R"({"dial": ["later"]})").contains("error"));
    EXPECT_EQ(child<QLineEdit>(*window, "txtPlanDials")->text(), QStringLiteral("busy,connect"));
    EXPECT_FALSE(child<QLabel>(*window, "lbPlanError")->isVisible());
}
