// SPDX-License-Identifier: MIT
// Where the suite's verdicts go: a "CASE " line each on the console and a summary "SUITE " line
// at the end, a case record in the record file, the JUnit and HTML reports rewritten; and, with
// --exit-after-suite, the end of the run once every case is decided.
//   CASE 4.1 pass: resent the block 0.3 s after the NAK, ACKed
//   SUITE 26 cases: 22 pass, 1 non-strict, 2 info, 1 fail, 0 no-show; 1 failing
#pragma once

#include "suite/Suite.h"

#include <functional>
#include <string>

namespace ostrella {

class ConsoleOutput;
class JunitReport;
class RecordFile;
class ReportFile;

class SuiteOutputs : public SuiteEvents {
public:
    struct Targets {
        ConsoleOutput* console = nullptr;
        RecordFile* records = nullptr;
        JunitReport* junit = nullptr;
        ReportFile* report = nullptr;
        // Called once every case is decided (--exit-after-suite), with whether the run failed.
        std::function<void(bool failed)> finished;
    };
    explicit SuiteOutputs(Targets targets)
        : targets_(std::move(targets))
    {
    }

    void caseDecided(const CaseResult& result) override;
    void suiteFinished(const SuiteTotals& totals) override;
    // The reports are rewritten with every case pending again.
    void suiteRestarted() override;

    static std::string caseText(const CaseResult& result);
    static std::string totalsText(const SuiteTotals& totals);

private:
    Targets targets_;
};

} // namespace ostrella
