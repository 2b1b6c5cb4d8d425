#include "emulator.h"
#include "extraports.h"
#include "mainwindow.h"

#include <QApplication>
#include <QComboBox>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // "--demo": an emulated adapter with truck traffic on a pseudo-terminal,
    // listed after the real ports and preselected. It lives in this scope, so it
    // is stopped after the window (and with it the port) is gone.
    std::unique_ptr<AdapterEmulator> demoAdapter;
    if (QApplication::arguments().contains(QStringLiteral("--demo"))) {
        demoAdapter = std::make_unique<AdapterEmulator>();
        QString error;
        if (demoAdapter->start(&error)) {
            registerExtraPort(demoAdapter->devicePath(), QStringLiteral("demo adapter"));
        } else {
            qWarning("demo adapter not available: %s", qPrintable(error));
            demoAdapter.reset();
        }
    }

    MainWindow window;
    if (demoAdapter) {
        auto *ports = window.findChild<QComboBox *>(QStringLiteral("cb_selectSerial"));
        const int entry = ports ? ports->findText(demoAdapter->devicePath(), Qt::MatchStartsWith) : -1;
        if (entry >= 0)
            ports->setCurrentIndex(entry);
    }
    window.show();
    return app.exec();
}
