// SPDX-License-Identifier: MIT
// What the window's record tables (pages, findings) share: a fixed font, rows of one height,
// no editing, start widths in average characters (0: left to the view), one column stretched,
// and the Line column hidden, since without a bank every call is on the one line.
#pragma once

#include <QFontDatabase>
#include <QHeaderView>
#include <QTableView>
#include <span>

namespace ostrella {

inline void setUpRecordTable(QTableView* table, std::span<const int> startWidths, int stretched,
                             int lineColumn)
{
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    QHeaderView* header = table->horizontalHeader();
    const int charWidth = table->fontMetrics().averageCharWidth();
    for (std::size_t column = 0; column < startWidths.size(); ++column) {
        if (startWidths[column] > 0)
            header->resizeSection(static_cast<int>(column), startWidths[column] * charWidth);
    }
    header->setSectionResizeMode(stretched, QHeaderView::Stretch);
    table->hideColumn(lineColumn);
}

} // namespace ostrella
