// SPDX-License-Identifier: MIT
#include "app/frmHarnwick.h"

#include "app/QtPorts.h"
#include "app/Version.h"
#include "link/frmTCPComs.h"

#include <QCloseEvent>
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
    SteadyClock clock;
    QtTimer dummyPkts;
    QtTimer com;
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
    buildWidgets();
    buildMenu();
    createTimers();

    tcpComs_ = new frmTCPComs(this);
    ports_ = std::make_unique<ShellPorts>(
        ShellPorts { SteadyClock {}, QtTimer(*tmrDummyPkts), QtTimer(*tcpComs_->ComTimer()),
                     ListLogView(*lbxSystemLog), ListLogView(*lbxPETLOG),
                     CheckBoxPanel({ chkBusy, chkNoAnswer, chkNoCarrier, chkNoDialtone, chkNAK,
                                     chkREJ, chkNOResponse, chkDisconnect }),
                     LabelPair(*lbTCPProgress, *lbMainFormBanner) });
    sim_ = std::make_unique<Simulator>(Ports { ports_->clock, ports_->dummyPkts, ports_->com,
                                               *tcpComs_, ports_->systemLog, ports_->petLog,
                                               ports_->panel, ports_->labels });
    tcpComs_->setLink(&sim_->link);
    connect(tcpComs_->ComTimer(), &QTimer::timeout, this, [this] { sim_->ComTimer_Timer(); });

    Form_Load(options.portArgument);
}

frmHarnwick::~frmHarnwick()
{
    // The core goes before the child objects do: nothing may call into it from here on.
    tcpComs_->setLink(nullptr);
    tcpComs_->Form_Unload();
    tmrDummyPkts->stop();
    tmrSystem->stop();
}

const TestPanel& frmHarnwick::testPanel() const
{
    return ports_->panel;
}

void frmHarnwick::createTimers()
{
    tmrDummyPkts = new QTimer(this);
    tmrDummyPkts->setObjectName(QStringLiteral("tmrDummyPkts"));
    connect(tmrDummyPkts, &QTimer::timeout, this, &frmHarnwick::tmrDummyPkts_Timer);

    tmrSystem = new QTimer(this);
    tmrSystem->setObjectName(QStringLiteral("tmrSystem"));
    tmrSystem->setInterval(SystemTimerMs);
    connect(tmrSystem, &QTimer::timeout, this, &frmHarnwick::tmrSystem_Timer);
    tmrSystem->start();
}

void frmHarnwick::Form_Load(const std::string& portArgument)
{
    mCloseRequested = 0;
    mClosing = 0;
    const std::string port = ListenPortFromArgument(portArgument);
    const bool listening = sim_->Start(port, programVersion());
    // The caption names the port actually taken (the system's choice for port 0).
    setWindowTitle(fromBytes(MainCaption(sim_->session.gListenPort, programVersion())));
    if (!listening)
        reportStartupFailure(port);
}

void frmHarnwick::reportStartupFailure(const std::string& port)
{
    // Half started: no engine and no listener. The log is flushed once so that it says why.
    tmrDummyPkts->stop();
    const std::string& reason = sim_->link.listenError();
    sim_->log.LogEvent(sim_->session.gLogSystem, std::string(),
                       "Event: ERROR Listen failed on port <" + port + "> " + reason);
    sim_->log.FlushLog();
    startupError_ = QStringLiteral("Ostrella cannot listen on port %1: %2.\n\n"
                                   "No client can connect. Close the window to end the program.")
                        .arg(fromBytes(port), fromBytes(reason));

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
    tmrDummyPkts->stop();
    mClosing = 1;
    mCloseRequested = 1;
    Cancel = true;
}

void frmHarnwick::mnuExit_Click()
{
    tmrDummyPkts->stop();
    bool ignored = false;
    Form_QueryUnload(ignored);
}

void frmHarnwick::tickBox(Box box, bool on)
{
    ports_->panel.setTicked(box, on);
}

void frmHarnwick::mnuMinimise_Click()
{
    showMinimized();
}

void frmHarnwick::tmrSystem_Timer()
{
    if (mCloseRequested == 1) {
        tcpComs_->Form_Unload();
        close();
        return;
    }
    if (sim_->link.listenPending())
        sim_->link.RetryListen();
}

void frmHarnwick::tmrDummyPkts_Timer()
{
    sim_->tmrDummyPkts_Timer();
}

void frmHarnwick::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    tmrDummyPkts->stop();
    tmrSystem->stop();
    tcpComs_->Form_Unload();
    if (startupBox_ != nullptr)
        startupBox_->close();
    emit unloaded();
    // Queued, so the close that got here completes first.
    if (quitOnUnload_)
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
}

} // namespace ostrella
