// SPDX-License-Identifier: MIT
#include "app/frmHarnwick.h"

#include "app/CallsTab.h"
#include "app/FindingsTab.h"
#include "app/LinesTab.h"
#include "app/PagesTab.h"
#include "app/PlanBox.h"
#include "app/Version.h"
#include "qt/CallsModel.h"
#include "qt/FindingsModel.h"
#include "qt/PagesModel.h"
#include "qt/QtPorts.h"
#include "qt/frmTCPComs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

namespace ostrella {

namespace {

QString fromBytes(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

struct frmHarnwick::ShellPorts {
    ListLogView systemLog;
    ListLogView petLog;
    CheckBoxPanel panel;
    LabelPair labels;
};

frmHarnwick::frmHarnwick(const Options& options, QWidget* parent)
    : QMainWindow(parent)
    , quitOnUnload_(options.quitOnUnload)
{
    setObjectName(QStringLiteral("frmHarnwick"));
    pagesModel_ = new PagesModel(this);
    pagesModel_->setObjectName(QStringLiteral("pagesModel"));
    findingsModel_ = new FindingsModel(this);
    findingsModel_->setObjectName(QStringLiteral("findingsModel"));
    buildWidgets();
    buildMenu();

    ports_ = std::make_unique<ShellPorts>(
        ShellPorts { ListLogView(*lbxSystemLog), ListLogView(*lbxPETLOG),
                     CheckBoxPanel({ chkBusy, chkNoAnswer, chkNoCarrier, chkNoDialtone, chkNAK,
                                     chkREJ, chkNOResponse, chkDisconnect }),
                     LabelPair(*lbTCPProgress, *lbMainFormBanner) });
    host_ = new SimulatorHost(
        ViewPorts { ports_->systemLog, ports_->petLog, ports_->panel, ports_->labels }, this,
        options.lines, options.devices);
    connect(host_, &SimulatorHost::closeDue, this, &frmHarnwick::tmrSystem_Timer);
    if (options.calls != nullptr) {
        callsModel_ = new CallsModel(*options.calls, this);
        callsModel_->setObjectName(QStringLiteral("callsModel"));
        callsTab_ = new CallsTab(*callsModel_, SSTab1);
        callsTab_->setObjectName(QStringLiteral("tabCalls"));
        SSTab1->addTab(callsTab_, QStringLiteral("Calls"));
    }
    if (sim().hasBank() || sim().deviceCount() > 0) {
        linesTab_ = new LinesTab(sim(), SSTab1);
        SSTab1->addTab(linesTab_, QStringLiteral("Lines"));
        connect(&host_->tmrDummyPkts(), &QTimer::timeout, linesTab_, &LinesTab::refresh);
        pagesTab_->showLineColumn(true);
        findingsTab_->showLineColumn(true);
        if (callsTab_ != nullptr)
            callsTab_->showLineColumn(true);
    }
    sim().addRecordSink(pagesModel_);
    sim().addRecordSink(findingsModel_);
    showIgnoredRules();
    connect(findingsTab_, &FindingsTab::ignoredRulesChanged, this,
            [this] { sim().setIgnoredRules(findingsTab_->ignoredRules()); });
    connect(&host_->tmrDummyPkts(), &QTimer::timeout, this, &frmHarnwick::showIgnoredRules);
    planBox_->setPlan(&sim().plan());
    connect(cboModem, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            sim().setModemProfile(index == 1 ? ModemProfile::Hayes : ModemProfile::Classic);
    });
    connect(cboTerminal, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            sim().setTerminal(static_cast<TerminalProfile>(index));
    });

    Form_Load(options.portArgument);
}

frmHarnwick::~frmHarnwick()
{
    // The Lines tab leaves the simulator's sinks first; then the host goes before the ports it
    // writes to: nothing may call into it from here on.
    delete linesTab_;
    linesTab_ = nullptr;
    delete host_;
    host_ = nullptr;
}

const TestPanel& frmHarnwick::testPanel() const
{
    return ports_->panel;
}

void frmHarnwick::Form_Load(const std::string& portArgument)
{
    mCloseRequested = 0;
    mClosing = 0;
    const bool listening
        = host_->start(ListenPortFromArgument(portArgument),
                       [](const std::string& port) { return StartupLine(port, programVersion()); });
    // The caption names the port actually taken (the system's choice for port 0).
    setWindowTitle(fromBytes(MainCaption(host_->port(), programVersion())));
    if (!listening)
        reportStartupFailure();
}

void frmHarnwick::reportStartupFailure()
{
    // Half started: no engine and no listener; the system log already says why.
    const std::string& port = host_->port();
    const std::string& reason = host_->listenError();
    startupError_ = host_->deviceError().empty()
        ? QStringLiteral("Ostrella cannot listen on port %1: %2.\n\n"
                         "No client can connect. Close the window to end the program.")
              .arg(fromBytes(port), fromBytes(reason))
        : QStringLiteral("Ostrella cannot open a line: %1.\n\n"
                         "No client can connect. Close the window to end the program.")
              .arg(fromBytes(reason));

    startupBox_ = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ostrella"), startupError_,
                                  QMessageBox::Ok, this);
    startupBox_->setObjectName(QStringLiteral("msgStartupError"));
    // Not modal: the operator can still read the logs and close the window.
    startupBox_->setModal(false);
    startupBox_->show();
}

void frmHarnwick::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

void frmHarnwick::Form_QueryUnload(bool& Cancel)
{
    if (mClosing != 0)
        return;
    host_->requestClose();
    mClosing = 1;
    mCloseRequested = 1;
    Cancel = true;
}

void frmHarnwick::mnuExit_Click()
{
    host_->tmrDummyPkts().stop();
    bool ignored = false;
    Form_QueryUnload(ignored);
}

void frmHarnwick::tickBox(Box box, bool on)
{
    ports_->panel.setTicked(box, on);
}

ControlApi::Hooks frmHarnwick::apiHooks()
{
    return ControlApi::Hooks {
        testPanel(),
        [this](Box box, bool on) { tickBox(box, on); },
        [this](const PlanTexts& texts) {
            QString error;
            (void)applyPlan(texts, &error);
            return error.toStdString();
        },
        [this](TerminalProfile profile) { chooseTerminal(profile); },
        [this](ModemProfile profile) { chooseModem(profile); },
    };
}

void frmHarnwick::setSuite(Suite* suite)
{
    if (callsModel_ == nullptr)
        return;
    callsModel_->setSuite(suite);
    callsTab_->showCaseColumns(suite != nullptr);
}

void frmHarnwick::chooseTerminal(TerminalProfile profile)
{
    cboTerminal->setCurrentIndex(static_cast<int>(profile));
}

void frmHarnwick::chooseModem(ModemProfile profile)
{
    cboModem->setCurrentIndex(profile == ModemProfile::Hayes ? 1 : 0);
}

void frmHarnwick::showModem()
{
    chooseModem(sim().modemProfile());
}

void frmHarnwick::showTerminal()
{
    chooseTerminal(sim().terminal());
}

void frmHarnwick::showIgnoredRules()
{
    findingsTab_->showIgnoredRules(sim().ignoredRules());
}

bool frmHarnwick::applyPlan(const PlanTexts& texts, QString* error)
{
    return planBox_->apply(texts, error);
}

void frmHarnwick::mnuMinimise_Click()
{
    showMinimized();
}

void frmHarnwick::tmrSystem_Timer()
{
    if (mCloseRequested != 1)
        return;
    host_->unload();
    close();
}

void frmHarnwick::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    host_->unload();
    if (startupBox_ != nullptr)
        startupBox_->close();
    emit unloaded();
    // Queued, so the close that got here completes first.
    if (quitOnUnload_)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
}

} // namespace ostrella
