// SPDX-License-Identifier: MIT
#include "app/JunitReport.h"

#include "app/Version.h"
#include "qt/LogDisplay.h"
#include "sim/RecordJson.h"

#include <QDateTime>
#include <QSaveFile>
#include <QSysInfo>
#include <QXmlStreamWriter>
#include <algorithm>

namespace ostrella {

namespace {

// Seconds with milliseconds, as JUnit readers take a time.
QString seconds(std::int64_t ms)
{
    return QString::number(static_cast<double>(std::max<std::int64_t>(ms, 0)) / 1000.0, 'f', 3);
}

// Bytes of the line as the console shows them, in UTF-8.
std::string shown(std::string_view bytes, std::size_t limit = MaxShownBytes)
{
    return displayUtf8(bytes, limit);
}

QString utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "2026-12-08T09:05:17.123Z error end.no-eot (TAP 1.8 end): TEXT", then the evidence on a line of
// its own.
QString findingLine(const FindingRecord& finding)
{
    std::string line = isoTime(finding.time) + " " + shown(finding.level) + " "
        + shown(finding.rule) + " (" + shown(finding.ref) + "): " + shown(finding.text);
    if (!finding.evidence.empty())
        line += "\n  evidence: " + shown(finding.evidence, JunitReport::MaxShownEvidence);
    return utf8(line);
}

// The shown lines, and a line for those beyond them when `total` is more.
QString shownText(const std::vector<QString>& lines, long total, const char* what)
{
    QString text;
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    const long more = total - static_cast<long>(lines.size());
    if (more > 0)
        text += utf8("... " + std::to_string(more) + " " + what
                     + " more (the record file and the control API hold every finding)\n");
    return text;
}

QString joined(const std::vector<std::string>& rules)
{
    std::string text;
    for (const std::string& rule : rules)
        text += (text.empty() ? "" : ", ") + shown(rule);
    return utf8(text);
}

} // namespace

JunitReport::JunitReport(int rewriteMs)
    : pace_(rewriteMs, [this] { (void)write(); })
    , timestamp_(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")))
{
}

std::string JunitReport::open(const std::string& path)
{
    path_ = path;
    return write();
}

void JunitReport::findingRecorded(const FindingRecord& finding)
{
    auto it = open_.find(finding.call);
    if (it == open_.end()) {
        if (open_.size() >= MaxOpenCalls)
            open_.erase(open_.begin());
        it = open_.emplace(finding.call, Findings {}).first;
    }
    Shown& kind = finding.level == "error" ? it->second.errors : it->second.others;
    if (std::find(kind.rules.begin(), kind.rules.end(), finding.rule) == kind.rules.end())
        kind.rules.push_back(finding.rule);
    if (kind.lines.size() < MaxShownFindings)
        kind.lines.push_back(findingLine(finding));
}

void JunitReport::callRecorded(const CallRecord& call)
{
    Case c {
        call.id, call.line, call.caller, call.start, call.end, call.findings, {}, call.lineName
    };
    if (const auto it = open_.find(call.id); it != open_.end()) {
        c.findings = std::move(it->second);
        open_.erase(it);
    }
    if (cases_.size() == MaxCalls) {
        cases_.pop_front();
        ++dropped_;
    }
    cases_.push_back(std::move(c));
    schedule();
}

void JunitReport::schedule()
{
    pace_.changed(!path_.empty());
}

void JunitReport::flush()
{
    pace_.flush(!path_.empty());
}

std::string JunitReport::write()
{
    pace_.writing();
    QSaveFile file(QString::fromLocal8Bit(path_.data(), static_cast<qsizetype>(path_.size())));
    QString why;
    if (!file.open(QIODevice::WriteOnly) || file.write(xml()) < 0 || !file.commit())
        why = file.errorString();
    if (why.isEmpty())
        return std::string();
    if (!failed_ && report_)
        report_("Event: ERROR JUnit report <" + path_ + "> cannot be written: " + why.toStdString()
                + "; it is tried again after each call");
    failed_ = true;
    return why.toStdString();
}

void JunitReport::writeCase(QXmlStreamWriter& w, const Case& c)
{
    w.writeStartElement(QStringLiteral("testcase"));
    std::string name = "call " + std::to_string(c.id) + " from " + shown(c.caller);
    const std::string line = !c.lineName.empty() ? c.lineName
        : c.line > 0                             ? "line" + std::to_string(c.line)
                                                 : std::string();
    if (!c.lineName.empty())
        name += " on " + c.lineName;
    else if (c.line > 0)
        name += " on line " + std::to_string(c.line);
    w.writeAttribute(QStringLiteral("name"), utf8(name));
    w.writeAttribute(QStringLiteral("classname"),
                     utf8(line.empty() ? "ostrella" : "ostrella." + line));
    w.writeAttribute(QStringLiteral("time"), seconds(c.end - c.start));
    if (c.counts.error > 0) {
        w.writeStartElement(QStringLiteral("failure"));
        w.writeAttribute(QStringLiteral("message"), joined(c.findings.errors.rules));
        w.writeAttribute(QStringLiteral("type"), QStringLiteral("error"));
        w.writeCharacters(shownText(c.findings.errors.lines, c.counts.error, "errors"));
        w.writeEndElement();
    }
    if (const long others = c.counts.warning + c.counts.note; others > 0)
        w.writeTextElement(QStringLiteral("system-out"),
                           shownText(c.findings.others.lines, others, "warnings and notes"));
    w.writeEndElement();
}

void JunitReport::writeSuiteCase(QXmlStreamWriter& w, const CaseResult& c)
{
    w.writeStartElement(QStringLiteral("testcase"));
    w.writeAttribute(QStringLiteral("name"), utf8(shown(c.id + " " + c.title)));
    w.writeAttribute(QStringLiteral("classname"), utf8("ostrella.suite." + c.group()));
    w.writeAttribute(QStringLiteral("time"), seconds(0));
    if (!c.verdict) {
        w.writeEmptyElement(QStringLiteral("skipped"));
        w.writeAttribute(QStringLiteral("message"), QStringLiteral("not decided"));
    } else if (*c.verdict == Verdict::Fail || *c.verdict == Verdict::NoShow) {
        w.writeStartElement(QStringLiteral("failure"));
        w.writeAttribute(QStringLiteral("message"),
                         utf8(std::string(verdictText(*c.verdict)) + ": " + shown(c.reason)));
        w.writeAttribute(QStringLiteral("type"), utf8(std::string(verdictText(*c.verdict))));
        w.writeCharacters(utf8("expected: " + c.expects + "\n"));
        w.writeEndElement();
    }
    std::string out = "verdict: "
        + std::string(c.verdict ? verdictText(*c.verdict) : std::string_view("pending")) + "\n"
        + "reason: " + shown(c.reason) + "\n" + "the simulator: " + c.does + "\n" + "calls:";
    for (long call : c.calls)
        out += " " + std::to_string(call);
    out += "\nfindings: " + std::to_string(c.findings.error) + " error, "
        + std::to_string(c.findings.warning) + " warning, " + std::to_string(c.findings.note)
        + " note";
    for (std::size_t i = 0; i < c.findingRules.size() && i < MaxShownFindings; ++i)
        out += (i == 0 ? ": " : ", ") + shown(c.findingRules[i]);
    w.writeTextElement(QStringLiteral("system-out"), utf8(out + "\n"));
    w.writeEndElement();
}

QByteArray JunitReport::xml() const
{
    long failures = 0;
    long skipped = 0;
    std::int64_t totalMs = 0;
    for (const Case& c : cases_) {
        failures += c.counts.error > 0 ? 1 : 0;
        totalMs += std::max<std::int64_t>(c.end - c.start, 0);
    }
    std::size_t count = cases_.size();
    if (suite_ != nullptr) {
        failures = 0;
        count = suite_->results().size();
        for (const CaseResult& c : suite_->results()) {
            failures += c.verdict && (*c.verdict == Verdict::Fail || *c.verdict == Verdict::NoShow);
            skipped += c.verdict ? 0 : 1;
        }
    }
    const QString tests = QString::number(count);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(512 + 160 * cases_.size()));
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("testsuites"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("ostrella"));
    const auto counts = [&] {
        w.writeAttribute(QStringLiteral("tests"), tests);
        w.writeAttribute(QStringLiteral("failures"), QString::number(failures));
        w.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
        w.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
        w.writeAttribute(QStringLiteral("time"), seconds(totalMs));
    };
    counts();
    w.writeStartElement(QStringLiteral("testsuite"));
    w.writeAttribute(QStringLiteral("name"), QStringLiteral("ostrella"));
    counts();
    w.writeAttribute(QStringLiteral("timestamp"), timestamp_);
    w.writeAttribute(QStringLiteral("hostname"), QSysInfo::machineHostName());

    w.writeStartElement(QStringLiteral("properties"));
    const Version v = programVersion();
    const std::pair<const char*, QString> properties[] = {
        { "version", QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision) },
        { "calls_dropped", QString::number(dropped_) },
    };
    for (const auto& [name, value] : properties) {
        w.writeEmptyElement(QStringLiteral("property"));
        w.writeAttribute(QStringLiteral("name"), QLatin1String(name));
        w.writeAttribute(QStringLiteral("value"), value);
    }
    w.writeEndElement();

    if (suite_ != nullptr) {
        for (const CaseResult& c : suite_->results())
            writeSuiteCase(w, c);
    } else {
        for (const Case& c : cases_)
            writeCase(w, c);
    }
    if (dropped_ > 0 && suite_ == nullptr)
        w.writeTextElement(QStringLiteral("system-out"),
                           utf8(std::to_string(dropped_)
                                + " older calls dropped: the report keeps the newest "
                                + std::to_string(MaxCalls) + "\n"));
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

} // namespace ostrella
