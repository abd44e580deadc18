// SPDX-License-Identifier: MIT
// Lines on devices of their own in virtual time: a line named by its device in its log lines and
// records, calls that begin with the open (or with what is sent while none is on) and end with
// the close, and the modem-control lines of a serial port through a fake.
#include "engine/Scenario.h"
#include "sim/RecordJson.h"
#include "support/Rig.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace ostrella;
using namespace ostrella::test;

namespace {

void logOn(DeviceRig& rig, std::size_t index)
{
    rig.sends(index, "ATDT5551234\r");
    rig.advance(11'100);
    ASSERT_EQ(rig.takeSent(index), "CONNECT\r\n");
    ASSERT_EQ(rig.exchange(index, "\r", 2'000), "ID=\r\n");
    ASSERT_EQ(rig.exchange(index, "\x1bPG1000000\r", 2'000), "\x06\r\x1b[p\r");
}

// The carrier as a serial port's DTR shows it, each change in order.
struct FakeModemLines : ModemLines {
    void setCarrier(bool on) override { changes.push_back(on); }
    std::vector<bool> changes;
};

} // namespace

TEST(DeviceLines, ALineIsNamedByItsDeviceAndItsCallsRunFromOpenToClose)
{
    DeviceRig rig({ "ttyOST", "ttyUSB0" });
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    rig.advance(1'000);
    rig.opens(0);
    EXPECT_TRUE(rig.sim.deviceBusy(0));
    EXPECT_FALSE(rig.sim.deviceBusy(1));
    logOn(rig, 0);
    EXPECT_EQ(rig.exchange(0, WorkedBlock, 1'000), "\x06\r");
    rig.sends(0, "\x04\r");
    rig.advance(1'000);
    rig.closes(0);
    EXPECT_FALSE(rig.sim.deviceBusy(0));
    rig.advance(600);
    const auto texts = rig.systemTexts();
    EXPECT_TRUE(logged(texts, "ttyOST Event: Connect request id = 1 from </dev/ttyOST>"));
    EXPECT_TRUE(logged(texts, "ttyOST Event: Port Closed"));

    ASSERT_EQ(records.pages.size(), 1U);
    ASSERT_EQ(records.calls.size(), 1U);
    EXPECT_EQ(records.calls[0].lineName, "ttyOST");
    EXPECT_EQ(records.calls[0].caller, "/dev/ttyOST");
    EXPECT_EQ(records.calls[0].ended, "eot");
    EXPECT_NE(toJson(records.pages[0]).find("\"line\":\"ttyOST\""), std::string::npos);
    EXPECT_NE(toJson(records.calls[0]).find("\"line\":\"ttyOST\""), std::string::npos);
    EXPECT_EQ(toJson(records.calls[0]).find("\"noise\""), std::string::npos);

    // The device speaks again with no call on (it kept the device open): a new call, the link
    // between calls untouched; the other line never had one.
    rig.sends(0, "AT\r");
    rig.advance(600);
    EXPECT_TRUE(rig.sim.deviceBusy(0));
    EXPECT_TRUE(
        logged(rig.systemTexts(), "ttyOST Event: Connect request id = 2 from </dev/ttyOST>"));
    EXPECT_TRUE(rig.sockets[1]->sent.empty());
    rig.sim.ShutDown();
    ASSERT_EQ(records.calls.size(), 2U);
    EXPECT_EQ(records.calls[1].ended, "shutdown");
}

TEST(DeviceLines, TheCarrierFollowsTheCallAndADtrDropHangsUp)
{
    DeviceRig rig({ "ttyUSB0" });
    VectorRecordSink records;
    rig.sim.addRecordSink(&records);
    FakeModemLines lines;
    rig.sim.setModemLines(0, &lines);
    EXPECT_EQ(lines.changes, std::vector<bool> { false }) << "no carrier before a call";
    rig.sim.deviceReady(0, true);
    rig.opens(0);
    logOn(rig, 0);
    EXPECT_EQ(lines.changes, (std::vector<bool> { false, true })) << "DCD on from CONNECT";
    // The device's DTR stays on: nothing; it drops (AT&D2, the modem's own): the call is over.
    rig.sim.deviceReady(0, true);
    EXPECT_TRUE(rig.sim.deviceBusy(0));
    rig.sim.deviceReady(0, false);
    EXPECT_FALSE(rig.sim.deviceBusy(0));
    ASSERT_EQ(records.calls.size(), 1U);
    EXPECT_EQ(records.calls[0].ended, "hangup");
    EXPECT_EQ(lines.changes, (std::vector<bool> { false, true, false }));
    // A drop with no call on does nothing.
    rig.sim.deviceReady(0, true);
    rig.sim.deviceReady(0, false);
    EXPECT_EQ(records.calls.size(), 1U);
}

TEST(DeviceLines, AtAmpersandCAndDSetWhatTheHayesModemDoesWithTheModemLines)
{
    struct Case {
        const char* command;
        // The carrier before the dial, and whether a DTR drop leaves the call on.
        bool carrierBeforeDial;
        bool callGoesOn;
        // What the drop makes the modem say.
        const char* said;
    };
    const Case cases[] = {
        { "AT&C0\r", true, false, "" },           { "AT&D0\r", false, true, "" },
        { "AT&D1\r", false, true, "\r\nOK\r\n" }, { "AT&D2\r", false, false, "" },
        { "AT&D3\r", false, false, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        DeviceRig rig({ "ttyUSB0" });
        rig.sim.setModemProfile(ModemProfile::Hayes);
        FakeModemLines lines;
        rig.sim.setModemLines(0, &lines);
        rig.sim.deviceReady(0, true);
        rig.opens(0);
        EXPECT_EQ(rig.exchange(0, c.command, 600), std::string(c.command) + "\r\nOK\r\n");
        EXPECT_EQ(lines.changes.back(), c.carrierBeforeDial);
        rig.sends(0, "ATDT5551234\r");
        rig.advance(11'000);
        EXPECT_EQ(rig.takeSent(0), "ATDT5551234\r\r\nCONNECT 2400\r\n");
        EXPECT_TRUE(lines.changes.back());
        rig.sim.deviceReady(0, false);
        EXPECT_EQ(rig.sim.deviceBusy(0), c.callGoesOn);
        EXPECT_EQ(rig.takeSent(0), c.said);
        EXPECT_EQ(lines.changes.back(), c.callGoesOn || c.carrierBeforeDial);
    }
    // A bad value is refused as a real modem refuses it.
    DeviceRig rig({ "ttyUSB0" });
    rig.sim.setModemProfile(ModemProfile::Hayes);
    rig.opens(0);
    EXPECT_EQ(rig.exchange(0, "AT&C2\r", 600), "AT&C2\r\r\nERROR\r\n");
}
