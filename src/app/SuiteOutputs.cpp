// SPDX-License-Identifier: MIT
#include "app/SuiteOutputs.h"

#include "app/ConsoleOutput.h"
#include "app/JunitReport.h"
#include "app/RecordFile.h"
#include "app/ReportFile.h"

namespace ostrella {

std::string SuiteOutputs::caseText(const CaseResult& result)
{
    return result.id + " "
        + std::string(result.verdict ? verdictText(*result.verdict) : std::string_view("pending"))
        + ": " + result.reason;
}

std::string SuiteOutputs::totalsText(const SuiteTotals& t)
{
    return std::to_string(t.cases) + " cases: " + std::to_string(t.pass) + " pass, "
        + std::to_string(t.nonStrict) + " non-strict, " + std::to_string(t.info) + " info, "
        + std::to_string(t.fail) + " fail, " + std::to_string(t.noShow) + " no-show; "
        + std::to_string(t.failing) + " failing";
}

void SuiteOutputs::caseDecided(const CaseResult& result)
{
    if (targets_.console != nullptr)
        (void)targets_.console->writeLogLine("CASE ", caseText(result));
    if (targets_.records != nullptr)
        targets_.records->writeRecord(toJson(result));
    if (targets_.junit != nullptr)
        targets_.junit->suiteChanged();
    if (targets_.report != nullptr)
        targets_.report->changed();
}

void SuiteOutputs::suiteRestarted()
{
    if (targets_.junit != nullptr)
        targets_.junit->suiteChanged();
    if (targets_.report != nullptr)
        targets_.report->changed();
}

void SuiteOutputs::suiteFinished(const SuiteTotals& totals)
{
    if (targets_.console != nullptr)
        (void)targets_.console->writeLogLine("SUITE ", totalsText(totals));
    if (targets_.junit != nullptr)
        targets_.junit->flush();
    if (targets_.report != nullptr)
        targets_.report->flush();
    if (targets_.finished)
        targets_.finished(totals.failing > 0);
}

} // namespace ostrella
