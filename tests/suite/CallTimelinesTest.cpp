// SPDX-License-Identifier: MIT
// The kept calls and their timelines at their bounds: the newest timelines stay, by count and by
// bytes, and the oldest records go past their own bound.
#include "suite/CallTimelines.h"

#include <gtest/gtest.h>

namespace {

using namespace ostrella;

// `count` calls from id `first` on, each with a timeline of one piece of `bytes` bytes.
void record(CallTimelines& kept, long first, long count, std::size_t bytes)
{
    for (long id = first; id < first + count; ++id) {
        CallTimeline timeline;
        timeline.call = id;
        timeline.pieces.push_back(TimelinePiece { 0, true, std::string(bytes, 'x'), false });
        kept.timelineRecorded(timeline);
        CallRecord call;
        call.id = id;
        kept.callRecorded(call);
    }
}

TEST(CallTimelines, TheNewestTimelinesStayByCountAndBytesAndTheOldestRecordsGo)
{
    CallTimelines kept;
    record(kept, 1, CallTimelines::MaxRecords + 50, 10);
    ASSERT_EQ(kept.calls().size(), CallTimelines::MaxRecords);
    EXPECT_EQ(kept.calls().front().record.id, 51);
    const long newest = static_cast<long>(CallTimelines::MaxRecords) + 50;
    for (const long id : { newest, newest - 499L })
        EXPECT_TRUE(kept.find(id)->timeline) << id;
    EXPECT_FALSE(kept.find(newest - 500)->timeline);
    EXPECT_FALSE(kept.find(51)->timeline);

    // Big timelines: as many of the newest as fit in the bytes, and always the newest one.
    constexpr std::size_t Big = 5 * 1024 * 1024;
    record(kept, newest + 1, 20, Big);
    EXPECT_LE(kept.timelineBytes(), CallTimelines::MaxBytes);
    EXPECT_TRUE(kept.find(newest + 20)->timeline);
    EXPECT_TRUE(kept.find(newest + 9)->timeline);
    EXPECT_FALSE(kept.find(newest + 8)->timeline) << "13 of 5 MiB would be over 64 MiB";
    EXPECT_FALSE(kept.find(newest)->timeline);
    record(kept, newest + 21, 1, 80 * 1024 * 1024);
    EXPECT_TRUE(kept.find(newest + 21)->timeline) << "the newest is kept even over the bound";
    EXPECT_FALSE(kept.find(newest + 20)->timeline);
}

} // namespace
