// SPDX-License-Identifier: MIT
// The main window: the two logs, the progress label, the rotating banner, the fault boxes, the
// fault plan, the pages received, the judge's findings, the calls with their timelines and the
// System menu, drawn over a SimulatorHost that runs the simulator. It decides nothing about the
// line; the core does.
#pragma once

#include "app/ControlApi.h"
#include "qt/PlanTexts.h"
#include "qt/SimulatorHost.h"

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMessageBox;
class QTabWidget;
class QTimer;

namespace ostrella {

class CallsModel;
class CallsTab;
class CallTimelines;
class FindingsModel;
class FindingsTab;
class Suite;
class LinesTab;
class PagesModel;
class PagesTab;
class PlanBox;
class frmTCPComs;
class SimulatorHost;

class frmHarnwick : public QMainWindow {
    Q_OBJECT

public:
    struct Options {
        // The command line's port argument; empty or not a number means "9001".
        std::string portArgument;
        // End the application's event loop once the window has unloaded.
        bool quitOnUnload = true;
        // Above 1: a bank of lines on the one port.
        int lines = 1;
        // Lines on pseudo-terminals and serial ports, and how every line's wire goes.
        HostLines devices = {};
        // The calls kept with their timelines (a sink of the simulator's records once the caller
        // adds it): the Calls tab lists them and takes the store's listener. nullptr: no Calls
        // tab. It must outlive the window.
        CallTimelines* calls = nullptr;
    };

    // Builds the window and starts the simulator (Form_Load). A port that cannot be opened leaves
    // the window half started: no engine timer, nothing listening, the start-up line and the
    // failure in the system log, and a message box (not modal) naming the port and the reason.
    explicit frmHarnwick(const Options& options, QWidget* parent = nullptr);
    ~frmHarnwick() override;

    // True when start-up opened the listening port.
    bool started() const { return startupError_.isEmpty(); }
    // The start-up failure as shown to the operator; empty after a good start.
    const QString& startupError() const { return startupError_; }

    SimulatorHost& host() { return *host_; }
    Simulator& sim() { return host_->sim(); }
    const Clock& clock() const { return host_->clock(); }
    frmTCPComs& tcpComs() { return host_->tcpComs(); }
    // The fault boxes as the engine reads them.
    const TestPanel& testPanel() const;
    int closeRequested() const { return mCloseRequested; }
    int closing() const { return mClosing; }

    // Every attempt to close the window: the first one is refused (Cancel set), the engine timer
    // stops at once and the close is left to the next tmrSystem tick; a later one goes through.
    void Form_QueryUnload(bool& Cancel);
    // Exit: the engine timer stops, then the close-request handling runs directly.
    void mnuExit_Click();
    // Ticks or clears a fault box on the Test tab, as the operator would.
    void tickBox(Box box, bool on);
    // Sets the whole fault plan from its four texts, as Apply in the Plan box does (the command
    // line's plan options come in here): true when every text is good, the plan is then in force
    // and the box shows it; otherwise nothing changes, the box shows the error in red and `error`
    // (if given) holds it, one line per bad text naming the bad word.
    bool applyPlan(const PlanTexts& texts, QString* error = nullptr);
    // What the control API switches: the boxes on the Test tab and the Plan box, which follow at
    // once.
    ControlApi::Hooks apiHooks();
    // Sets the terminal profile for the next call, as choosing it on the Test tab does; and shows
    // the simulator's profile in that choice (after it was set from elsewhere).
    void chooseTerminal(TerminalProfile profile);
    void showTerminal();
    // The same for the modem profile.
    void chooseModem(ModemProfile profile);
    void showModem();
    // The page and call records kept for the Pages tab (a sink of the simulator's records).
    PagesModel& pagesModel() { return *pagesModel_; }
    // The findings kept for the Findings tab (a sink of the simulator's records).
    FindingsModel& findingsModel() { return *findingsModel_; }
    // The calls of the Calls tab; nullptr without one.
    CallsModel* callsModel() { return callsModel_; }
    // The suite whose cases and verdicts the Calls tab shows beside its calls; nullptr: none.
    // A suite set here must stay until it is set again (to nullptr before the suite goes).
    void setSuite(Suite* suite);
    // Ticks on the Findings tab the rules the simulator leaves out (after they were set from
    // elsewhere: the command line, the API). Also runs on every engine tick.
    void showIgnoredRules();
    // Minimize: the window is minimised; everything keeps running.
    void mnuMinimise_Click();
    // The system tick after a close request: frmTCPComs unloads, then this window.
    void tmrSystem_Timer();

signals:
    // The window has closed and frmTCPComs has unloaded: nothing runs any more.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ShellPorts;

    void Form_Load(const std::string& portArgument);
    void Form_Unload();
    void reportStartupFailure();

    void buildWidgets();
    void buildMenu();
    QWidget* buildBanner();
    QWidget* buildLogsTab();
    QWidget* buildTestTab();
    QWidget* buildPagesTab();
    QWidget* buildFindingsTab();
    QCheckBox* addBox(QGroupBox* frame, const char* name, const char* caption);
    QGroupBox* buildTerminalBox(QWidget* parent);
    QGroupBox* buildModemBox(QWidget* parent);

    // Controls, owned by their Qt parents.
    QFrame* frmBanner = nullptr;
    QLabel* lbMainFormBanner = nullptr;
    QTabWidget* SSTab1 = nullptr;
    QListWidget* lbxSystemLog = nullptr;
    QListWidget* lbxPETLOG = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* chkREJ = nullptr;
    QCheckBox* chkNOResponse = nullptr;
    QCheckBox* chkNAK = nullptr;
    QCheckBox* chkDisconnect = nullptr;
    QCheckBox* chkNoDialtone = nullptr;
    QCheckBox* chkNoAnswer = nullptr;
    QCheckBox* chkNoCarrier = nullptr;
    QCheckBox* chkBusy = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    // The terminal profile for the next call: "classic" or "tap18".
    QComboBox* cboTerminal = nullptr;
    QComboBox* cboModem = nullptr;
    QLabel* lbTCPProgress = nullptr;
    QAction* mnuMinimise = nullptr;
    QAction* mnuExit = nullptr;
    QMessageBox* startupBox_ = nullptr;
    PlanBox* planBox_ = nullptr;
    PagesTab* pagesTab_ = nullptr;
    FindingsTab* findingsTab_ = nullptr;
    // With a bank of lines: the Lines tab.
    LinesTab* linesTab_ = nullptr;
    // With a call store: the Calls tab, its model a child of the window.
    CallsTab* callsTab_ = nullptr;
    CallsModel* callsModel_ = nullptr;
    // A child of the window, made before the host: the host's last call record (its shut-down)
    // still finds it.
    PagesModel* pagesModel_ = nullptr;
    // The same for the findings (a call ended by the shut-down may still be judged).
    FindingsModel* findingsModel_ = nullptr;

    std::unique_ptr<ShellPorts> ports_;
    // A child of the window (so its timers are found by name), deleted before the ports it uses.
    SimulatorHost* host_ = nullptr;

    int mCloseRequested = 0;
    int mClosing = 0;
    bool quitOnUnload_ = true;
    bool unloaded_ = false;
    QString startupError_;
};

} // namespace ostrella
