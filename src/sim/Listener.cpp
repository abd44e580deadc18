// SPDX-License-Identifier: MIT
#include "sim/Listener.h"

#include <charconv>

namespace ostrella {

namespace {

// The port as a number 0..65535 (0: the system chooses), or -1 when the text is not one.
int portNumber(std::string_view text)
{
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
        return -1;
    return port;
}

} // namespace

Listener::Listener(ServerSocket& server, SystemLog& log, LogView& gLogSystem)
    : server_(server)
    , log_(log)
    , gLogSystem_(&gLogSystem)
{
}

void Listener::logSystem(std::string text)
{
    log_.LogEvent(gLogSystem_, std::string(), std::move(text));
}

std::string Listener::listeningLine(std::string_view portWord) const
{
    return "TCP Remote Server: Local " + std::string(portWord) + " <"
        + std::to_string(server_.localPort()) + "> Local IP <" + server_.localIp() + " > ";
}

bool Listener::listen()
{
    const int port = portNumber(gListenPort);
    if (port < 0) {
        listenError_ = "not a port number from 1 to 65535";
        return false;
    }
    if (!server_.listen(port)) {
        listenError_ = server_.errorString();
        return false;
    }
    listenError_.clear();
    // From now on the line is on the port taken, whatever the system chose for port 0.
    if (port == 0)
        gListenPort = std::to_string(server_.localPort());
    return true;
}

bool Listener::OpenListener(int mode)
{
    if (mode != 1)
        return true;
    return listen();
}

void Listener::logListening()
{
    logSystem(listeningLine("Port"));
}

void Listener::listenAgain()
{
    if (listen()) {
        listenPending_ = false;
        logSystem(listeningLine("port"));
        return;
    }
    if (!listenPending_) {
        logSystem("Event: ERROR Listen failed on port <" + gListenPort + "> " + listenError_
                  + ", retrying");
    }
    listenPending_ = true;
}

void Listener::RetryListen()
{
    if (listenPending_)
        listenAgain();
}

} // namespace ostrella
