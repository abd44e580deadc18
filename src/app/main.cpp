// SPDX-License-Identifier: MIT
// Ostrella: the paging-line simulator's desktop program. Usage: ostrella [port]
#include "app/CommandLine.h"
#include "app/frmHarnwick.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrella"));

    const ostrella::CommandLine line = ostrella::parseCommandLine(QApplication::arguments());
    ostrella::frmHarnwick window(ostrella::frmHarnwick::Options { line.portArgument, true });
    window.show();
    if (!window.started())
        std::fprintf(stderr, "ostrella: %s\n", qPrintable(window.startupError()));

    const int status = QApplication::exec();
    return window.started() ? status : 1;
}
