// SPDX-License-Identifier: MIT
#include "sim/RecordStore.h"

namespace ostrella {

void RecordStore::pageRecorded(const PageRecord& page)
{
    pages_.add(page);
    if (pageListener_)
        pageListener_(page);
}

void RecordStore::callRecorded(const CallRecord& call)
{
    calls_.add(call);
}

void RecordStore::findingRecorded(const FindingRecord& finding)
{
    findings_.add(finding);
    if (findingListener_)
        findingListener_(finding);
}

} // namespace ostrella
