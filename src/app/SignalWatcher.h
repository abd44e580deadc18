// SPDX-License-Identifier: MIT
// Turns SIGINT and SIGTERM into a Qt signal on the event loop (through a self-pipe), so the program
// ends through its ordinary deferred shut-down.
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

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace ostrella
