// SPDX-License-Identifier: MIT
// The program's lines on devices, end to end: a client that opens the --pty link as its modem at
// 7E1 and 1200 bit/s for two calls, a device on the far side of a pseudo-terminal pair served
// with --serial, and the devices that cannot be served.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace ostrella::harness;

namespace {

// The program's side of a modem device: a descriptor it reads and writes with a deadline.
class DeviceEnd {
public:
    explicit DeviceEnd(int fd)
        : fd_(fd)
    {
    }
    ~DeviceEnd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }
    bool send(std::string_view bytes) const
    {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What arrives until `expected` has, or `ms` pass.
    std::string receive(std::string_view expected, int ms)
    {
        const auto end = SteadyClock::now() + std::chrono::milliseconds(ms);
        while (got_.find(expected) == std::string::npos && SteadyClock::now() < end) {
            pollfd p { fd_, POLLIN, 0 };
            if (::poll(&p, 1, 20) == 1 && (p.revents & POLLIN) != 0) {
                char buffer[512];
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0)
                    got_.append(buffer, static_cast<std::size_t>(n));
            }
        }
        std::string out;
        out.swap(got_);
        return out;
    }

private:
    int fd_;
    std::string got_;
};

// Opens `path` as a modem program does: raw, at `speed`, seven data bits and even parity.
int openModem(const QString& path, speed_t speed)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios mode {};
    ::tcgetattr(fd, &mode);
    ::cfmakeraw(&mode);
    mode.c_cflag = (mode.c_cflag & ~CSIZE) | CS7 | PARENB | CLOCAL | CREAD;
    ::cfsetispeed(&mode, speed);
    ::cfsetospeed(&mode, speed);
    ::tcsetattr(fd, TCSANOW, &mode);
    return fd;
}

} // namespace

TEST(DeviceLines, AProgramOpensThePtyAsItsModemForTwoCalls)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyOST");
    const QString records = dir.filePath("records.jsonl");
    Program program(
        console({ "--pty", link, "--modem", "hayes", "--bps", "auto", "--record", records }));
    ASSERT_NE(program.waitForPort(), 0) << program.report();
    ASSERT_TRUE(program.waitForOutput("Event: line ttyOST on pseudo-terminal /dev/pts/"))
        << program.report();
    {
        DeviceEnd modem(openModem(link, B1200));
        ASSERT_GE(modem.fd(), 0);
        ASSERT_TRUE(modem.send("ATE0\r"));
        EXPECT_EQ(modem.receive("OK\r\n", 3'000), "ATE0\r\r\nOK\r\n");
        ASSERT_TRUE(modem.send("ATDT5551234\r"));
        EXPECT_EQ(modem.receive("CONNECT 1200\r\n", 13'000), "\r\nCONNECT 1200\r\n");
        ASSERT_TRUE(modem.send("\r"));
        EXPECT_EQ(modem.receive("ID=\r\n", 3'000), "ID=\r\n");
        ASSERT_TRUE(modem.send("\x1bPG1000000\r"));
        EXPECT_EQ(modem.receive("\x1b[p\r", 3'000), "\x06\r\x1b[p\r");
        ASSERT_TRUE(modem.send("\x02"
                               "123\rABC\r\x03"
                               "17;\r"));
        EXPECT_EQ(modem.receive("\r", 3'000), "\x06\r");
    }
    ASSERT_TRUE(program.waitForOutput("ttyOST Event: Port Closed")) << program.report();
    {
        // The link stayed: a second call on it.
        DeviceEnd modem(openModem(link, B2400));
        ASSERT_GE(modem.fd(), 0);
        ASSERT_TRUE(modem.send("AT\r"));
        EXPECT_EQ(modem.receive("OK\r\n", 3'000), "AT\r\r\nOK\r\n");
    }
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (program.countOf("ttyOST Event: Port Closed") < 2 && SteadyClock::now() < deadline)
        program.waitForOutput("never said", 50);
    EXPECT_TRUE(program.terminate()) << program.report();
    EXPECT_FALSE(QFile::exists(link)) << "the link goes with the program";
    const auto lines = ostrella::harness::records(records);
    int calls = 0;
    for (const QJsonObject& r : lines) {
        if (r.value("type").toString() != "call")
            continue;
        ++calls;
        EXPECT_EQ(r.value("line").toString(), "ttyOST");
        EXPECT_EQ(r.value("caller").toString(), link);
    }
    EXPECT_EQ(calls, 2) << program.report();
}

TEST(DeviceLines, ADeviceOnTheFarSideOfAPtyPairIsServedAsASerialLine)
{
    int device = -1;
    int port = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&device, &port, name, nullptr, nullptr), 0);
    termios raw {};
    ::tcgetattr(device, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(device, TCSANOW, &raw);
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyUSB7");
    ASSERT_EQ(::symlink(name, link.toLocal8Bit().constData()), 0);
    Program program(console({ "--serial", link, "--baud", "9600", "--framing", "8N1", "--modem",
                              "hayes", "--api", "0" }));
    ASSERT_NE(program.waitForPort(), 0) << program.report();
    const quint16 api = program.waitForApiPort();
    ASSERT_NE(api, 0) << program.report();
    ASSERT_TRUE(program.waitForOutput("Event: line ttyUSB7 on serial port")) << program.report();
    ::close(port);
    DeviceEnd end(device);
    ASSERT_TRUE(end.send("AT\r"));
    EXPECT_EQ(end.receive("OK\r\n", 3'000), "AT\r\r\nOK\r\n");
    ASSERT_TRUE(program.waitForOutput("ttyUSB7 Event: Connect request id = 1 from <"))
        << program.report();
    const HttpReply status = http(api, "GET", "/api/v1/status");
    EXPECT_TRUE(status.body.contains("\"devices\":[{\"line\":\"ttyUSB7\",\"device\":\""
                                     + link.toUtf8() + "\",\"busy\":true,\"state\":\"MODEM\"}]"))
        << status.body.constData();
    EXPECT_TRUE(program.terminate()) << program.report();
}

TEST(DeviceLines, ADeviceThatCannotBeServedEndsTheStartWithItsReason)
{
    QTemporaryDir dir;
    const QString taken = dir.filePath("modem");
    {
        QFile file(taken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    struct Case {
        QStringList args;
        QByteArray says;
    };
    const Case cases[] = {
        { { "--pty", taken }, "exists and is not a link Ostrella left; not replaced" },
        { { "--serial", dir.filePath("none") }, "cannot open a line: --serial " },
    };
    for (const Case& c : cases) {
        Program program(console(c.args));
        EXPECT_TRUE(program.process_.waitForFinished(10'000)) << program.report();
        EXPECT_EQ(program.process_.exitCode(), 1) << program.report();
        EXPECT_TRUE(program.report().find(c.says.constData()) != std::string::npos)
            << program.report();
    }
    EXPECT_TRUE(QFile::exists(taken)) << "never overwritten";
}
