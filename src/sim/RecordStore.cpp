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

} // namespace ostrella
