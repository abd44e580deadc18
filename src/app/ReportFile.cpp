// SPDX-License-Identifier: MIT
#include "app/ReportFile.h"

#include "suite/HtmlReport.h"

#include <QDateTime>
#include <QSaveFile>

namespace ostrella {

ReportFile::ReportFile(const CallTimelines& calls, int rewriteMs)
    : calls_(calls)
    , rewriteMs_(rewriteMs)
{
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { (void)write(); });
}

std::string ReportFile::open(const std::string& path)
{
    path_ = path;
    return write();
}

void ReportFile::changed()
{
    due_ = true;
    if (path_.empty() || timer_.isActive())
        return;
    const qint64 since = lastWrite_.isValid() ? lastWrite_.elapsed() : rewriteMs_;
    if (since >= rewriteMs_)
        (void)write();
    else
        timer_.start(static_cast<int>(rewriteMs_ - since));
}

void ReportFile::flush()
{
    if (due_ && !path_.empty())
        (void)write();
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
    timer_.stop();
    due_ = false;
    lastWrite_.start();
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
