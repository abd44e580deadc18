// SPDX-License-Identifier: MIT
#include "app/ReportFile.h"

#include "suite/HtmlReport.h"

#include <QDateTime>
#include <QSaveFile>

namespace ostrella {

ReportFile::ReportFile(const CallTimelines& calls, int rewriteMs)
    : calls_(calls)
    , pace_(rewriteMs, [this] { (void)write(); })
{
}

std::string ReportFile::open(const std::string& path)
{
    path_ = path;
    return write();
}

void ReportFile::changed()
{
    pace_.changed(!path_.empty());
}

void ReportFile::flush()
{
    pace_.flush(!path_.empty());
}

std::string ReportFile::html() const
{
    ReportInput input;
    input.title = "Ostrella report";
    input.generatedAt = QDateTime::currentMSecsSinceEpoch();
    input.suite = suite_ != nullptr;
    if (suite_ != nullptr) {
        input.cases = suite_->results();
        input.currentCase = suite_->currentCase();
    }
    for (const CallTimelines::Call& call : calls_.calls())
        input.calls.push_back(
            ReportCall { call.record, call.timeline ? &*call.timeline : nullptr });
    return htmlReport(input);
}

std::string ReportFile::write()
{
    pace_.writing();
    QSaveFile file(QString::fromLocal8Bit(path_.data(), static_cast<qsizetype>(path_.size())));
    const std::string page = html();
    QString why;
    if (!file.open(QIODevice::WriteOnly)
        || file.write(page.data(), static_cast<qint64>(page.size())) < 0 || !file.commit())
        why = file.errorString();
    if (why.isEmpty())
        return std::string();
    if (!failed_ && report_)
        report_("Event: ERROR HTML report <" + path_ + "> cannot be written: " + why.toStdString()
                + "; it is tried again after each call");
    failed_ = true;
    return why.toStdString();
}

} // namespace ostrella
