// SPDX-License-Identifier: MIT
// The Lines tab of a window over a bank of lines: one row per line with its caller, its engine
// state and the pages it has received, refreshed on the simulator's tick.
#pragma once

#include "ports/Records.h"

#include <QWidget>
#include <vector>

class QTableWidget;

namespace ostrella {

class Simulator;

class LinesTab : public QWidget, public RecordSink {
    Q_OBJECT

public:
    // Rows for every line of `sim` (which must outlive the tab); a sink of its records.
    explicit LinesTab(Simulator& sim, QWidget* parent = nullptr);
    ~LinesTab() override;

    // Shows each line's caller (blank without one), state and pages now.
    void refresh();

    void pageRecorded(const PageRecord& page) override;
    void callRecorded(const CallRecord&) override { }

private:
    Simulator& sim_;
    QTableWidget* table_;
    std::vector<long> pages_;
};

} // namespace ostrella
