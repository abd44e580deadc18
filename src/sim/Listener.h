// SPDX-License-Identifier: MIT
// The listener: the TCP port clients call, opened at start-up and opened again after a line's
// connection ends, with a retry on the system timer when that fails.
#pragma once

#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <string>
#include <string_view>

namespace ostrella {

class Listener {
public:
    Listener(ServerSocket& server, SystemLog& log, LogView& gLogSystem);

    // The port listened on, as text: from the command line, "9001" by default. Port 0 lets the
    // system choose; once listening, this is the port taken.
    std::string gListenPort = "9001";

    // Mode 1 listens on gListenPort (any other mode does nothing and succeeds). False when the
    // port cannot be opened; listenError() says why. The listening line is logged separately
    // (logListening), so that the start-up line, which names the port taken, comes first.
    [[nodiscard]] bool OpenListener(int mode);
    // Logs "TCP Remote Server: Local Port <p> Local IP <ip > " for a listening just opened.
    void logListening();
    // Why the last attempt to listen failed.
    const std::string& listenError() const { return listenError_; }

    // Listens again after a line's connection ended and logs the "Local port" line (lower-case
    // "port"). When that fails, "Event: ERROR Listen failed on port <p> reason, retrying" is
    // logged once and the listen is pending.
    void listenAgain();
    // True while a re-listen failed and should be tried again.
    bool listenPending() const { return listenPending_; }
    // Tries a pending re-listen again (on the system timer); logs the "Local port" line once it
    // succeeds.
    void RetryListen();

    ServerSocket& server() { return server_; }

private:
    [[nodiscard]] bool listen();
    std::string listeningLine(std::string_view portWord) const;
    void logSystem(std::string text);

    ServerSocket& server_;
    SystemLog& log_;
    LogView* gLogSystem_;
    bool listenPending_ = false;
    std::string listenError_;
};

} // namespace ostrella
