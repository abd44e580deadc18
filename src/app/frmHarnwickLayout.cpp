// SPDX-License-Identifier: MIT
// The main window's controls, built in code under their kept names: the banner frame, the LOGS,
// Test, Pages and Findings tabs, the progress label and the System menu.
#include "app/FindingsTab.h"
#include "app/PagesTab.h"
#include "app/PlanBox.h"
#include "app/frmHarnwick.h"
#include "sim/Banner.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace ostrella {

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QListWidget* logList(const char* name)
{
    auto* list = new QListWidget;
    list->setObjectName(QLatin1String(name));
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list->setUniformItemSizes(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

// One titled log: a bold caption above its list.
QWidget* titledLog(const QString& title, QListWidget* list, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    QLabel* caption = plainLabel(title, box);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    layout->addWidget(caption);
    list->setParent(box);
    layout->addWidget(list);
    return box;
}

QLabel* helpLabel(const char* name, const QString& text, QWidget* parent)
{
    QLabel* label = plainLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

void frmHarnwick::buildWidgets()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    layout->addWidget(buildBanner());

    SSTab1 = new QTabWidget(central);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->addTab(buildLogsTab(), QStringLiteral("LOGS"));
    SSTab1->addTab(buildTestTab(), QStringLiteral("Test"));
    SSTab1->addTab(buildPagesTab(), QStringLiteral("Pages"));
    SSTab1->addTab(buildFindingsTab(), QStringLiteral("Findings"));
    layout->addWidget(SSTab1, 1);

    lbTCPProgress = plainLabel(QString(), central);
    lbTCPProgress->setObjectName(QStringLiteral("lbTCPProgress"));
    lbTCPProgress->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lbTCPProgress->setFrameShape(QFrame::StyledPanel);
    lbTCPProgress->setFrameShadow(QFrame::Sunken);
    lbTCPProgress->setMargin(3);
    lbTCPProgress->setToolTip(QStringLiteral("Time of the last engine step and the line state"));
    layout->addWidget(lbTCPProgress);

    setCentralWidget(central);
    resize(1000, 680);
}

QWidget* frmHarnwick::buildBanner()
{
    frmBanner = new QFrame(this);
    frmBanner->setObjectName(QStringLiteral("frmBanner"));
    frmBanner->setFrameShape(QFrame::StyledPanel);
    frmBanner->setFrameShadow(QFrame::Raised);
    auto* layout = new QHBoxLayout(frmBanner);
    layout->setContentsMargins(8, 6, 8, 6);

    lbMainFormBanner = plainLabel(QLatin1String(Banner::designCaption()), frmBanner);
    lbMainFormBanner->setObjectName(QStringLiteral("lbMainFormBanner"));
    lbMainFormBanner->setAlignment(Qt::AlignCenter);
    QFont font = lbMainFormBanner->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    lbMainFormBanner->setFont(font);
    layout->addWidget(lbMainFormBanner);
    return frmBanner;
}

QWidget* frmHarnwick::buildLogsTab()
{
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setChildrenCollapsible(false);
    lbxSystemLog = logList("lbxSystemLog");
    lbxPETLOG = logList("lbxPETLOG");
    splitter->addWidget(titledLog(QStringLiteral("System log"), lbxSystemLog, splitter));
    splitter->addWidget(titledLog(QStringLiteral("PET log"), lbxPETLOG, splitter));
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(splitter);
    return page;
}

QCheckBox* frmHarnwick::addBox(QGroupBox* frame, const char* name, const char* caption)
{
    auto* box = new QCheckBox(QLatin1String(caption), frame);
    box->setObjectName(QLatin1String(name));
    frame->layout()->addWidget(box);
    return box;
}

QWidget* frmHarnwick::buildTestTab()
{
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 12, 12, 12);
    auto* layout = new QHBoxLayout;
    layout->setSpacing(12);
    column->addLayout(layout);
    column->addStretch(1);

    // Boxes top to bottom in the order the modem and the terminal consult them.
    Frame1 = new QGroupBox(QStringLiteral("MODEM"), page);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    new QVBoxLayout(Frame1);
    chkBusy = addBox(Frame1, "chkBusy", "BUSY");
    chkNoAnswer = addBox(Frame1, "chkNoAnswer", "NO ANSWER");
    chkNoCarrier = addBox(Frame1, "chkNoCarrier", "NO CARRIER");
    chkNoDialtone = addBox(Frame1, "chkNoDialtone", "NO DIALTONE");
    Label2
        = helpLabel("Label2",
                    QStringLiteral("The next dial (ATDT) gets the first ticked answer instead of "
                                   "CONNECT. NO ANSWER: the modem stays silent."),
                    Frame1);
    Frame1->layout()->addWidget(Label2);

    Frame2 = new QGroupBox(QStringLiteral("PET"), page);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    new QVBoxLayout(Frame2);
    chkNAK = addBox(Frame2, "chkNAK", "NAK");
    chkREJ = addBox(Frame2, "chkREJ", "REJ");
    chkNOResponse = addBox(Frame2, "chkNOResponse", "NO REPONSE");
    chkDisconnect = addBox(Frame2, "chkDisconnect", "SEND DISCONNECT");
    Label4
        = helpLabel("Label4",
                    QStringLiteral("Each block gets the first ticked answer instead of ACK: NAK, "
                                   "REJ (RS) or none. SEND DISCONNECT answers EOT with ESC EOT "
                                   "CR."),
                    Frame2);
    Frame2->layout()->addWidget(Label4);

    // The plan beside the boxes, consulted after them.
    planBox_ = new PlanBox(page);

    layout->addWidget(Frame1, 1, Qt::AlignTop);
    layout->addWidget(Frame2, 1, Qt::AlignTop);
    layout->addWidget(planBox_, 2, Qt::AlignTop);
    column->insertWidget(1, buildTerminalBox(page));
    column->insertWidget(2, buildModemBox(page));
    return page;
}

QGroupBox* frmHarnwick::buildTerminalBox(QWidget* parent)
{
    auto* frame = new QGroupBox(QStringLiteral("TERMINAL"), parent);
    frame->setObjectName(QStringLiteral("fraTerminal"));
    auto* row = new QHBoxLayout(frame);
    cboTerminal = new QComboBox(frame);
    cboTerminal->setObjectName(QStringLiteral("cboTerminal"));
    for (std::string_view name : TerminalProfileNames)
        cboTerminal->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    row->addWidget(cboTerminal);
    row->addWidget(
        helpLabel("lblTerminal",
                  QStringLiteral("The terminal after CONNECT, from the next call: classic "
                                 "(ACK, NAK or RS alone) or tap18 (TAP 1.8: code lines, "
                                 "ETB/US blocks, time-outs, ESC EOT and NO CARRIER)."),
                  frame),
        1);
    return frame;
}

QGroupBox* frmHarnwick::buildModemBox(QWidget* parent)
{
    auto* frame = new QGroupBox(QStringLiteral("MODEM PROFILE"), parent);
    frame->setObjectName(QStringLiteral("fraModem"));
    auto* row = new QHBoxLayout(frame);
    cboModem = new QComboBox(frame);
    cboModem->setObjectName(QStringLiteral("cboModem"));
    for (ModemProfile profile : { ModemProfile::Classic, ModemProfile::Hayes }) {
        const std::string_view name = modemProfileName(profile);
        cboModem->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    row->addWidget(cboModem);
    row->addWidget(helpLabel("lblModem",
                             QStringLiteral("The modem the client dials, from the next call: "
                                            "classic (OK to any AT) or hayes (echo, result codes, "
                                            "S-registers, set-up queries, +++)."),
                             frame),
                   1);
    return frame;
}

QWidget* frmHarnwick::buildPagesTab()
{
    pagesTab_ = new PagesTab(*pagesModel_);
    pagesTab_->setObjectName(QStringLiteral("tabPages"));
    return pagesTab_;
}

QWidget* frmHarnwick::buildFindingsTab()
{
    findingsTab_ = new FindingsTab(*findingsModel_);
    findingsTab_->setObjectName(QStringLiteral("tabFindings"));
    return findingsTab_;
}

void frmHarnwick::buildMenu()
{
    QMenu* mnuSystem = menuBar()->addMenu(QStringLiteral("System"));
    mnuSystem->setObjectName(QStringLiteral("mnuSystem"));
    mnuMinimise = mnuSystem->addAction(QStringLiteral("Minimize"));
    mnuMinimise->setObjectName(QStringLiteral("mnuMinimise"));
    mnuExit = mnuSystem->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuMinimise, &QAction::triggered, this, &frmHarnwick::mnuMinimise_Click);
    connect(mnuExit, &QAction::triggered, this, &frmHarnwick::mnuExit_Click);
}

} // namespace ostrella
