// SPDX-License-Identifier: MIT
// How log lines look in the list boxes: control characters named, high bytes as Latin-1, floods
// cut.
#include "qt/LogDisplay.h"

#include <gtest/gtest.h>
#include <string>

using namespace ostrella;
using namespace std::string_literals;

namespace {

struct DisplayCase {
    const char* name;
    std::string line;
    QString shown;
};

} // namespace

TEST(LogDisplay, ShowsEveryByteVisibly)
{
    const DisplayCase cases[] = {
        { "plain text unchanged", "Event: Port Closed", QStringLiteral("Event: Port Closed") },
        { "modem reply", "OK\r\n", QStringLiteral("OK<CR><LF>") },
        { "a block",
          "\x02"
          "123\rABC\r\x03"
          "17;\r",
          QStringLiteral("<STX>123<CR>ABC<CR><ETX>17;<CR>") },
        { "logon accepted", "\x06\r\x1b[p\r", QStringLiteral("<ACK><CR><ESC>[p<CR>") },
        { "replies and disconnect", "\x15\x1e\x04", QStringLiteral("<NAK><RS><EOT>") },
        { "NUL inside a line", "a\0b"s, QStringLiteral("a<NUL>b") },
        { "last control and DEL", "\x1f\x7f", QStringLiteral("<US><DEL>") },
        { "C1 bytes in hex", "\x80\x8d\x9f", QStringLiteral("<0x80><0x8D><0x9F>") },
        { "Latin-1 above C1", "caf\xe9 \xa0\xff", QStringLiteral(u"caf\u00e9 \u00a0\u00ff") },
        { "empty", "", QString() },
    };
    for (const DisplayCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(displayText(c.line), c.shown);
    }
}

TEST(LogDisplay, CutsLongLinesAndSaysHowLong)
{
    EXPECT_EQ(displayText("0123456789", 10), QStringLiteral("0123456789")) << "at the limit";
    EXPECT_EQ(displayText("0123456789A", 10), QStringLiteral(u"0123456789\u2026(11 bytes)"));
    EXPECT_EQ(displayText("\r\r\r\r", 2), QStringLiteral(u"<CR><CR>\u2026(4 bytes)"));

    const std::string flood(64 * 1024, 'x');
    const QString shown = displayText(flood);
    EXPECT_TRUE(shown.startsWith(QString(static_cast<qsizetype>(MaxShownBytes), u'x')));
    EXPECT_TRUE(shown.endsWith(QStringLiteral(u"\u2026(%1 bytes)").arg(flood.size())));
    EXPECT_LT(shown.size(), static_cast<qsizetype>(MaxShownBytes) + 20);
}
