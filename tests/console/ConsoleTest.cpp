// SPDX-License-Identifier: MIT
// The real program in console mode, spawned and driven over real TCP as a test run would use it.
#include "ConsoleSupport.h"
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <csignal>
#include <gtest/gtest.h>
#include <string>

namespace {

using namespace ostrella::harness;

} // namespace

TEST(ConsoleMode, LogsStartUpAndListeningOnStdoutAndAnswersAt)
{
    Program program(console());
    ASSERT_TRUE(listens(program));
    const quint16 port = program.port();
    const QByteArray p = QByteArray::number(port);
    ASSERT_TRUE(program.waitForOutput("Local Port <" + p + ">"));
    EXPECT_TRUE(program.out_.contains("SYS "));
    EXPECT_TRUE(
        program.out_.contains(" :  Main: Ostrella on " + p + " now operational using version  V"));

    LineClient client(port);
    ASSERT_TRUE(client.connected());
    client.send("AT\r");
    EXPECT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    EXPECT_TRUE(program.waitForOutput("Data Pkt Txd ----> <OK<CR><LF>>"));
    EXPECT_TRUE(program.out_.contains("SYS ")) << program.out_.constData();
}

TEST(ConsoleMode, FaultFromTheCommandLineAnswersBusyAfterFiveSeconds)
{
    Program program(console({ "--fault", "busy" }));
    ASSERT_TRUE(listens(program));
    const quint16 port = program.port();
    LineClient client(port);
    client.send("ATDT5551234\r");
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(client.receive("BUSY\r\n", 8'000), QByteArray("BUSY\r\n"));
    const qint64 took = elapsed.elapsed();
    EXPECT_GE(took, 5'000);
    EXPECT_LT(took, 6'500);
}

TEST(ConsoleMode, FaultsAndDisconnectSwitchOnStdinMidCall)
{
    Program program(console({ "--send-disconnect" }));
    ASSERT_TRUE(listens(program));
    const quint16 port = program.port();
    LineClient client(port);
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));

    EXPECT_EQ(client.receive("\x06\r", 3'000).isEmpty(), true) << "nothing unasked";
    program.say("fault nak on");
    ASSERT_TRUE(program.waitForOutput("ok: fault nak on"));
    client.send(Block);
    EXPECT_EQ(client.receive("\x15\r", 3'000), QByteArray("\x15\r"));
    program.say("fault nak off");
    program.say("faults");
    ASSERT_TRUE(program.waitForOutput("faults: busy=off"));
    EXPECT_TRUE(program.out_.contains("nak=off"));
    EXPECT_TRUE(program.out_.contains("disconnect=on"));
    client.send(Block);
    EXPECT_EQ(client.receive("\x06\r", 3'000), QByteArray("\x06\r"));

    client.send("\x04\r");
    EXPECT_EQ(client.receive("\x1b\x04\r", 3'000), QByteArray("\x1b\x04\r"));
    EXPECT_TRUE(program.waitForOutput("PET "));
    EXPECT_TRUE(program.waitForOutput("  DP: Sending disconnect"));
    client.send("ATH\r");
    EXPECT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));

    // Switched off, EOT is met with silence as by default.
    program.say("disconnect off");
    ASSERT_TRUE(program.waitForOutput("ok: disconnect off"));
    ASSERT_NO_FATAL_FAILURE(dialsAndLogsOn(client));
    client.send("\x04\r");
    EXPECT_EQ(client.quietFor(2'000), QByteArray());
    client.send("AT\r");
    EXPECT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
}

TEST(ConsoleMode, BadCommandsGetAnErrorAndTheSimulatorGoesOn)
{
    Program program(console());
    ASSERT_TRUE(listens(program));
    const quint16 port = program.port();
    program.say("fault bogus on");
    program.say("fault nak maybe");
    program.say("launch rockets");
    program.say(QByteArray(5000, 'x'));
    ASSERT_TRUE(program.waitForOutput("error: command longer than 1024 bytes, ignored"));
    EXPECT_TRUE(program.out_.contains("error: unknown fault 'bogus'"));
    EXPECT_TRUE(program.out_.contains("error: say 'on' or 'off'"));
    EXPECT_TRUE(program.out_.contains("error: unknown command 'launch rockets'"));
    program.process_.closeWriteChannel(); // end of input: keeps running
    LineClient client(port);
    client.send("AT\r");
    EXPECT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    EXPECT_EQ(program.process_.state(), QProcess::Running);
}

TEST(ConsoleMode, SigtermEndsWithStatusZeroAfterTheLastLines)
{
    Program program(console());
    ASSERT_TRUE(listens(program));
    const quint16 port = program.port();
    LineClient client(port);
    client.send("AT\r");
    ASSERT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    // The reply's log line is still queued for the next engine tick.
    ::kill(static_cast<pid_t>(program.process_.processId()), SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.process_.exitCode(), 0);
    EXPECT_TRUE(program.out_.contains("Data Pkt Txd ----> <OK<CR><LF>>"))
        << program.out_.constData();
}

TEST(ConsoleMode, QuitOrExitTypedEndsAsSigtermDoes)
{
    for (const QByteArray word : { "quit", "EXIT" }) {
        SCOPED_TRACE(word.constData());
        Program program(console());
        ASSERT_TRUE(listens(program));
        LineClient client(program.port());
        client.send("AT\r");
        ASSERT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
        program.say("Modem HAYES");
        ASSERT_TRUE(program.waitForOutput("ok: modem hayes (from the next call)"));
        program.say(word + "\nfault nak on");
        ASSERT_TRUE(program.finish()) << program.report();
        EXPECT_EQ(program.process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.process_.exitCode(), 0);
        EXPECT_TRUE(program.out_.contains("ok: " + word.toLower() + ", shutting down"));
        EXPECT_FALSE(program.out_.contains("ok: fault nak on")) << "nothing read after it";
        EXPECT_TRUE(program.out_.contains("Data Pkt Txd ----> <OK<CR><LF>>"));
    }
}

TEST(CommandLine, HelpVersionAndBadOptions)
{
    struct Case {
        const char* name;
        QStringList args;
        int status;
        QByteArray out;
        QByteArray err;
    };
    const Case cases[] = {
        { "help", { "--help" }, 0, "Usage: ostrella", "" },
        { "version", { "--version" }, 0, "ostrella 1.0.1", "" },
        { "unknown option", { "--bogus" }, 2, "", "Usage: ostrella" },
        { "unknown fault", { "--fault", "fire" }, 2, "", "unknown fault 'fire'" },
        { "fault without a name", { "--console", "--fault" }, 2, "", "--fault needs a fault name" },
        { "port in use", { "--console", "PORT" }, 1, "", "cannot listen on port" },
    };
    // A port that is taken: the system's choice, held by this server until the test ends.
    QTcpServer occupied;
    ASSERT_TRUE(occupied.listen(QHostAddress::Any, 0)) << occupied.errorString().toStdString();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList args = c.args;
        args.replaceInStrings(QStringLiteral("PORT"), QString::number(occupied.serverPort()));
        Program program(args);
        ASSERT_TRUE(program.finish());
        EXPECT_EQ(program.process_.exitCode(), c.status);
        EXPECT_TRUE(program.out_.contains(c.out)) << program.out_.constData();
        EXPECT_TRUE(program.err_.contains(c.err)) << program.err_.constData();
    }
}

TEST(CommandLine, ModemOptionChoosesTheHayesModem)
{
    Program program(console({ "--modem", "hayes" }));
    ASSERT_TRUE(listens(program));
    LineClient client(program.port());
    client.send("ATI3\r");
    const QByteArray answer("ATI3\r\r\nOstrella Hayes V1.0\r\n\r\nOK\r\n");
    EXPECT_EQ(client.receive(answer, 3'000), answer);

    Program bad({ "--console", "--modem", "v34" });
    ASSERT_TRUE(bad.finish());
    EXPECT_EQ(bad.process_.exitCode(), 2);
    EXPECT_TRUE(bad.err_.contains("--modem: unknown modem 'v34' (classic or hayes)"))
        << bad.err_.constData();
}

TEST(CommandLine, NonNumericPortFallsBackAndSaysSo)
{
    Program program({ "--console", "abc" });
    program.waitForOutput("Local Port", 3000);
    EXPECT_TRUE(program.err_.contains("'abc' is not a port number, using 9001"))
        << program.err_.constData();
}

TEST(CommandLine, WithoutADisplayTheProgramRunsInConsoleMode)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    Program program({ QStringLiteral("0") }, env);
    EXPECT_TRUE(program.waitForOutput("SYS "));
    EXPECT_TRUE(program.err_.contains("no display")) << program.err_.constData();
    EXPECT_TRUE(listens(program)) << "console mode logs its listening line on stdout";
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
