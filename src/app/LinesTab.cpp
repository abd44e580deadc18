// SPDX-License-Identifier: MIT
#include "app/LinesTab.h"

#include "sim/Simulator.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace ostrella {

namespace {

// Sets a cell's text, making the item when the cell has none yet.
void setCell(QTableWidget& table, int row, int column, const QString& text)
{
    QTableWidgetItem* item = table.item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        table.setItem(row, column, item);
    }
    if (item->text() != text)
        item->setText(text);
}

} // namespace

LinesTab::LinesTab(Simulator& sim, QWidget* parent)
    : QWidget(parent)
    , sim_(sim)
    , table_(new QTableWidget(static_cast<int>(sim.lineCount() + sim.deviceCount()), 4, this))
    , pages_(sim.lineCount() + sim.deviceCount(), 0)
{
    setObjectName(QStringLiteral("tabLines"));
    table_->setObjectName(QStringLiteral("tblLines"));
    table_->setHorizontalHeaderLabels({ QStringLiteral("Line"), QStringLiteral("Caller"),
                                        QStringLiteral("State"), QStringLiteral("Pages") });
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(table_);
    sim_.addRecordSink(this);
    refresh();
}

LinesTab::~LinesTab()
{
    sim_.removeRecordSink(this);
}

void LinesTab::refresh()
{
    // The TCP lines by number, then the device lines by name.
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        const bool device = i >= sim_.lineCount();
        const std::size_t d = i - (device ? sim_.lineCount() : 0);
        Line& line = device ? sim_.deviceAt(d) : sim_.lineAt(i);
        const int row = static_cast<int>(i);
        const bool busy
            = device ? sim_.deviceBusy(d) : line.socket().state() == SocketState::Connected;
        setCell(*table_, row, 0,
                device ? QString::fromLatin1(line.name().c_str()) : QString::number(i + 1));
        setCell(*table_, row, 1,
                busy ? QString::fromLatin1(line.socket().remoteHostIp().c_str()) : QString());
        setCell(*table_, row, 2,
                busy ? QString::fromLatin1(std::string(stateName(line.state())).c_str())
                     : QString());
        setCell(*table_, row, 3, QString::number(pages_[i]));
    }
}

void LinesTab::pageRecorded(const PageRecord& page)
{
    if (!page.lineName.empty()) {
        for (std::size_t d = 0; d < sim_.deviceCount(); ++d) {
            if (sim_.deviceAt(d).name() == page.lineName) {
                ++pages_[sim_.lineCount() + d];
                return;
            }
        }
        return;
    }
    if (page.line > 0 && static_cast<std::size_t>(page.line) <= sim_.lineCount())
        ++pages_[static_cast<std::size_t>(page.line - 1)];
    else if (page.line == 0 && !sim_.hasBank())
        ++pages_[0];
}

} // namespace ostrella
