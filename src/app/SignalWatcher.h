// SPDX-License-Identifier: MIT
// Turns SIGINT, SIGTERM and SIGHUP (the terminal closing) into a Qt signal on the event loop
// (through a self-pipe), so the program ends through its ordinary deferred shut-down. SIGUSR1,
// SIGUSR2 and SIGALRM, which would kill it by default, are reported and otherwise ignored; SIGPIPE
// is ignored, so a reader that has gone is a failed write, not the end of the program, and so is
// SIGXFSZ, so that a file size limit is a failed write too.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace ostrella {

class SignalWatcher : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; only one watcher may exist at a time.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);
    // A signal sent by mistake and ignored; `name` is its name ("SIGUSR1").
    void signalIgnored(const QString& name);

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace ostrella
