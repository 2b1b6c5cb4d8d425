#include "app/extraports.h"
#include "app/mainwindow.h"
#include "sim/emulator.h"

#include <QApplication>
#include <QComboBox>

#include <memory>

namespace {

// The simulated adapter of "--demo": truck traffic on a pseudo-terminal, listed
// after the real ports. Returns nothing when the option is not given or the
// device cannot be made (said on stderr; the window opens all the same).
std::unique_ptr<sim::AdapterEmulator> startSimulatedAdapter(const QStringList &arguments)
{
    if (!arguments.contains(QStringLiteral("--demo")))
        return nullptr;
    auto adapter = std::make_unique<sim::AdapterEmulator>();
    QString error;
    if (!adapter->start(&error)) {
        qWarning("demo adapter not available: %s", qPrintable(error));
        return nullptr;
    }
    registerExtraPort(adapter->devicePath(), QStringLiteral("demo adapter"));
    return adapter;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    // Lives in this scope, so it is stopped after the window (and with it the
    // port) is gone.
    const std::unique_ptr<sim::AdapterEmulator> simulated = startSimulatedAdapter(QApplication::arguments());

    MainWindow window;
    if (simulated) {
        // Preselect it in the port list.
        auto *ports = window.findChild<QComboBox *>(QStringLiteral("cb_selectSerial"));
        const int entry = ports ? ports->findText(simulated->devicePath(), Qt::MatchStartsWith) : -1;
        if (entry >= 0)
            ports->setCurrentIndex(entry);
    }
    window.show();
    return app.exec();
}
