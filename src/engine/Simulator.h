// SPDX-License-Identifier: MIT
// One complete simulator core wired to its ports: the session, the event log, the line link, the
// engine and the banner. The shell (or the test rig) delivers timer ticks and socket events here.
#pragma once

#include "engine/Banner.h"
#include "engine/Engine.h"
#include "engine/Session.h"
#include "link/LineLink.h"
#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <string>
#include <string_view>

namespace ostrella {

struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
};

struct Ports {
    const Clock& clock;
    Timer& tmrDummyPkts;
    Timer& ComTimer;
    Socket& socket;
    LogView& systemLog;
    LogView& petLog;
    const TestPanel& panel;
    Labels& labels;
};

// The listening port from the command-line argument: "9001" when it is empty or not a whole
// number, else the text unchanged.
std::string ListenPortFromArgument(std::string_view argument);

// "V" major "." minor "(" revision ")".
std::string versionText(const Version& v);

// The main window's caption.
std::string MainCaption(const std::string& port, const Version& v);

// The system log's start-up line.
std::string StartupLine(const std::string& port, const Version& v);

class Simulator {
public:
    explicit Simulator(const Ports& ports);

    // Start-up after the window exists: banner texts, the start-up line, the engine timer (500 ms)
    // and the listening port. False when the port cannot be opened (link.listenError() says why).
    [[nodiscard]] bool Start(const std::string& listenPort, const Version& version);

    // The engine timer's tick: banner, drop report, log flush, one engine step.
    void tmrDummyPkts_Timer();
    // The receive-wait timer's tick.
    void ComTimer_Timer();

    Session session;
    SystemLog log;
    LineLink link;
    Engine engine;
    Banner banner;

private:
    const Ports ports_;
};

} // namespace ostrella
