// SPDX-License-Identifier: MIT
#include "app/RecordFile.h"

#include "sim/RecordJson.h"

#include <cerrno>
#include <cstring>

namespace ostrella {

RecordFile::~RecordFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

std::string RecordFile::open(const std::string& path)
{
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr)
        return std::strerror(errno);
    path_ = path;
    return std::string();
}

void RecordFile::pageRecorded(const PageRecord& page)
{
    writeLine(toJson(page));
}

void RecordFile::callRecorded(const CallRecord& call)
{
    writeLine(toJson(call));
}

void RecordFile::findingRecorded(const FindingRecord& finding)
{
    writeLine(toJson(finding));
}

void RecordFile::writeLine(const std::string& json)
{
    if (file_ == nullptr || failed_)
        return;
    if (std::fputs(json.c_str(), file_) >= 0 && std::fputc('\n', file_) != EOF
        && std::fflush(file_) == 0)
        return;
    failed_ = true;
    if (report_)
        report_("Event: ERROR Record file <" + path_ + "> cannot be written: "
                + std::strerror(errno) + "; records are no longer written");
}

} // namespace ostrella
