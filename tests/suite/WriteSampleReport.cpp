// SPDX-License-Identifier: MIT
// Writes the sample run's reports for a browser to open: DIR/report.html (the suite run),
// DIR/calls.html (the calls alone) and DIR/call-N.svg for each call's timeline; prints the case
// ids ("cases: 4.1 4.2 ...") and the number of calls ("calls: 3") for the checks on the page.
#include "suite/SampleCalls.h"
#include "suite/TimelineSvg.h"

#include <fstream>
#include <iostream>

namespace {

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " DIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    const ostrella::test::SampleRun suite(true);
    const ostrella::test::SampleRun calls(false);
    bool ok = writeFile(dir + "/report.html", ostrella::htmlReport(suite.input))
        && writeFile(dir + "/calls.html", ostrella::htmlReport(calls.input));
    for (const ostrella::CallTimeline& timeline : suite.timelines)
        ok = ok
            && writeFile(dir + "/call-" + std::to_string(timeline.call) + ".svg",
                         ostrella::timelineSvg(timeline));
    std::cout << "cases:";
    for (const ostrella::CaseResult& result : suite.input.cases)
        std::cout << " " << result.id;
    std::cout << "\ncalls: " << suite.input.calls.size() << "\n";
    return ok ? 0 : 1;
}
