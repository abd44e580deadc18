// SPDX-License-Identifier: MIT
// The newest page, call and finding records kept in memory, for the control API: a test asks for
// what came after the record it saw last. At most MaxKept of each are kept; the oldest go first.
#pragma once

#include "ports/Records.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

namespace ostrella {

class RecordStore : public RecordSink {
public:
    static constexpr std::size_t MaxKept = 10'000;

    void pageRecorded(const PageRecord& page) override;
    void callRecorded(const CallRecord& call) override;
    void findingRecorded(const FindingRecord& finding) override;

    // Called with each page once it is kept.
    void setPageListener(std::function<void(const PageRecord&)> listener)
    {
        pageListener_ = std::move(listener);
    }

    // Called with each finding once it is kept.
    void setFindingListener(std::function<void(const FindingRecord&)> listener)
    {
        findingListener_ = std::move(listener);
    }

    // The kept pages with a seq above `since` (calls with an id above it), oldest first.
    std::vector<PageRecord> pagesSince(long since) const { return pages_.since(since); }
    std::vector<CallRecord> callsSince(long since) const { return calls_.since(since); }
    std::vector<FindingRecord> findingsSince(long since) const { return findings_.since(since); }
    // Forgets the kept records and returns how many there were; numbering goes on.
    std::size_t clearPages() { return pages_.clear(); }
    std::size_t clearCalls() { return calls_.clear(); }
    std::size_t clearFindings() { return findings_.clear(); }

    std::size_t pageCount() const { return pages_.count(); }
    std::size_t callCount() const { return calls_.count(); }
    // The newest page's seq (call's id) since start, cleared or not; 0 before the first.
    long lastPageSeq() const { return pages_.last(); }
    long lastCallId() const { return calls_.last(); }
    long lastFindingSeq() const { return findings_.last(); }
    std::size_t findingCount() const { return findings_.count(); }
    std::size_t findingsDropped() const { return findings_.dropped(); }
    // Records let go because more than MaxKept were kept.
    std::size_t pagesDropped() const { return pages_.dropped(); }
    std::size_t callsDropped() const { return calls_.dropped(); }

private:
    // Records in ascending order of their number (`Key`).
    template<typename Record, long Record::*Key> class Kept {
    public:
        void add(const Record& record)
        {
            if (records_.size() == MaxKept) {
                records_.pop_front();
                ++dropped_;
            }
            records_.push_back(record);
            last_ = record.*Key;
        }
        std::vector<Record> since(long number) const
        {
            const auto first = std::upper_bound(records_.begin(), records_.end(), number,
                                                [](long n, const Record& r) { return n < r.*Key; });
            return std::vector<Record>(first, records_.end());
        }
        std::size_t clear()
        {
            const std::size_t n = records_.size();
            records_.clear();
            return n;
        }
        std::size_t count() const { return records_.size(); }
        long last() const { return last_; }
        std::size_t dropped() const { return dropped_; }

    private:
        std::deque<Record> records_;
        long last_ = 0;
        std::size_t dropped_ = 0;
    };

    Kept<PageRecord, &PageRecord::seq> pages_;
    Kept<CallRecord, &CallRecord::id> calls_;
    Kept<FindingRecord, &FindingRecord::seq> findings_;
    std::function<void(const PageRecord&)> pageListener_;
    std::function<void(const FindingRecord&)> findingListener_;
};

} // namespace ostrella
