// SPDX-License-Identifier: MIT
// The record file never holds up its caller and only ever holds whole lines: a line that does
// not fit is taken back and written once there is room, a deleted file is made again, a FIFO
// without a reader or one whose reader does not read makes records wait (within a bound), and each
// trouble is said once, as is its end.
#include "app/RecordFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ostrella;

namespace {

struct Said {
    std::vector<std::string> lines;

    // Runs the event loop until a line containing `text` was said, or `ms` pass.
    bool waitFor(const std::string& text, int ms = 3'000)
    {
        QDeadlineTimer deadline(ms);
        for (;;) {
            for (const std::string& line : lines) {
                if (line.find(text) != std::string::npos)
                    return true;
            }
            if (deadline.hasExpired())
                return false;
            QTest::qWait(20);
        }
    }
};

std::string fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// A record of `size` bytes (without its newline) numbered `n`.
std::string record(int n, std::size_t size = 100)
{
    std::string json = "{\"n\": " + std::to_string(n) + ", \"pad\": \"";
    json += std::string(size - json.size() - 2, 'x');
    return json + "\"}";
}

} // namespace

TEST(RecordFile, ALineThatDoesNotFitIsTakenBackAndWrittenOnceThereIsRoom)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.jsonl"));
    RecordFile file;
    Said said;
    ASSERT_EQ(file.open(path.toStdString()), "");
    file.setReport([&](const std::string& text) { said.lines.push_back(text); });
    // Room for one line and a half: the second is cut by the limit, taken back, and waits.
    rlimit before {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit small { 150, before.rlim_max };
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int n = 1; n <= 3; ++n)
        file.writeRecord(record(n));
    EXPECT_TRUE(said.waitFor("cannot be written: File too large; records wait (up to 16 MiB)"));
    EXPECT_EQ(fileText(path), record(1) + "\n") << "whole lines only";
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &before), 0);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(said.waitFor("is written again; no record was lost"));
    EXPECT_TRUE(file.drain(1'000));
    EXPECT_EQ(fileText(path), record(1) + "\n" + record(2) + "\n" + record(3) + "\n");
    EXPECT_EQ(said.lines.size(), 2U) << "each said once";

    // Deleted under the writer: made again at its path for the next record, and said.
    ASSERT_TRUE(QFile::remove(path));
    file.writeRecord(record(4));
    EXPECT_TRUE(said.waitFor("was deleted; it is written anew from the next record"));
    EXPECT_TRUE(file.drain(1'000));
    EXPECT_EQ(fileText(path), record(4) + "\n");
}

TEST(RecordFile, AFifoWithoutAReaderOrOneThatIsNotReadHoldsNothingUp)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("records.fifo"));
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    RecordFile file;
    Said said;
    ASSERT_EQ(file.open(path.toStdString()), "") << "the start does not wait for a reader";
    file.setReport([&](const std::string& text) { said.lines.push_back(text); });
    EXPECT_TRUE(said.waitFor("is a FIFO without a reader: records wait for one"));
    // More than the queue holds, the reader reading nothing: the caller never waits, the
    // records past the bound are lost, and that is said once.
    const int reader = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    constexpr std::size_t Big = 1024 * 1024;
    constexpr int Records = 20;
    for (int n = 1; n <= Records; ++n)
        file.writeRecord(record(n, Big));
    EXPECT_TRUE(said.waitFor("does not keep up: 16 MiB of records wait, and the next ones are "
                             "lost until it does"));
    // Read it all: whole lines, in order, the first ones kept.
    std::string got;
    std::vector<char> buffer(1 << 16);
    QDeadlineTimer deadline(10'000);
    while (!said.waitFor("keeps up again", 0) && !deadline.hasExpired()) {
        const ssize_t n = ::read(reader, buffer.data(), buffer.size());
        if (n > 0)
            got.append(buffer.data(), static_cast<std::size_t>(n));
        else
            QTest::qWait(5);
    }
    ::close(reader);
    EXPECT_TRUE(said.waitFor("keeps up again; "));
    ASSERT_FALSE(got.empty());
    ASSERT_EQ(got.size() % (Big + 1), 0U) << "whole lines only";
    const std::size_t kept = got.size() / (Big + 1);
    EXPECT_GE(kept, 15U);
    EXPECT_LT(kept, static_cast<std::size_t>(Records));
    for (std::size_t i = 0; i < kept; ++i)
        EXPECT_EQ(got.substr(i * (Big + 1), Big), record(static_cast<int>(i) + 1, Big)) << i;
    EXPECT_TRUE(said.waitFor(std::to_string(Records - kept) + " records were lost meanwhile"));
    EXPECT_EQ(said.lines.size(), 3U) << "each said once";
}
