// SPDX-License-Identifier: MIT
// Console mode's record lines: one "PAGE " line per page, one "FIND " line per finding of the
// judge and one "CALL " line at each call's end, beside the "SYS " and "PET " lines, stamped with
// the record's local time (a finding's with the time of what it is about):
//   PAGE 09:05:16 :  #1 call 1 from <127.0.0.1> pager <123> ACK (good) message <ABC>
//   FIND 09:05:19 :  call 1 error end.no-eot: the client hung up after its logon without ...
//   FIND 09:05:19 :  call 1 error block.checksum: ... evidence <<STX>123<CR>ABC<CR><ETX>17:<CR>>
//   CALL 09:05:20 :  call 1 from <127.0.0.1> dials <5551234 CONNECT> logon yes seven-bit no
//                    pages ACK 1 NAK 0 RS 0 none 0 ended eot
#pragma once

#include "app/ConsoleOutput.h"
#include "ports/Records.h"

#include <string>

namespace ostrella {

class ConsoleRecords : public RecordSink {
public:
    explicit ConsoleRecords(ConsoleOutput& out)
        : out_(out)
    {
    }
    void pageRecorded(const PageRecord& page) override;
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;

    // The lines, without their mark and stamp.
    static std::string pageText(const PageRecord& page);
    static std::string callText(const CallRecord& call);
    // "call 3 error block.checksum: TEXT", then " evidence <BYTES>" when there are any.
    static std::string findingText(const FindingRecord& finding);

private:
    ConsoleOutput& out_;
};

} // namespace ostrella
