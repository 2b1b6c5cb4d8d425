#include "app/commandline.h"
#include "app/extraports.h"
#include "app/mainwindow.h"
#include "sim/emulator.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The simulated adapter the options ask for, on a pseudo-terminal, listed after
// the real ports. Returns nothing when none is asked for or the device cannot
// be made (said on stderr; the window opens all the same).
std::unique_ptr<sim::AdapterEmulator> startSimulatedAdapter(const ProgramOptions &options)
{
    std::unique_ptr<sim::TrafficSource> traffic;
    switch (options.simulation) {
    case ProgramOptions::Simulation::None:
        return nullptr;
    case ProgramOptions::Simulation::Truck:
        traffic = std::make_unique<sim::TruckTraffic>();
        break;
    case ProgramOptions::Simulation::Load:
        traffic = std::make_unique<sim::LoadTraffic>(options.loadIds, options.loadRate);
        break;
    }
    auto adapter = std::make_unique<sim::AdapterEmulator>(std::move(traffic));
    QString error;
    if (!adapter->start(&error)) {
        qWarning("demo adapter not available: %s", qPrintable(error));
        return nullptr;
    }
    registerExtraPort(adapter->devicePath(), QStringLiteral("demo adapter"));
    return adapter;
}

bool asksForHelpOrVersion(int argc, char *argv[], bool &version)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *help : {"-h", "-?", "--help", "--help-all"}) {
            if (std::strcmp(argv[i], help) == 0)
                return true;
        }
        if (std::strcmp(argv[i], "-v") == 0 || std::strcmp(argv[i], "--version") == 0) {
            version = true;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and version are answered without starting the window system, so
    // that they work without a display.
    bool version = false;
    if (asksForHelpOrVersion(argc, argv, version)) {
        QCoreApplication core(argc, argv);
        if (version) {
            std::printf("%s\n", qPrintable(versionText()));
            return 0;
        }
        QCommandLineParser parser;
        addProgramOptions(parser);
        parser.showHelp(0);
    }

    // The toolkit takes its own options (-platform, -style, ...) out of the
    // arguments; the rest are the program's.
    QApplication app(argc, argv);
    QCommandLineParser parser;
    addProgramOptions(parser);
    ProgramOptions options;
    QString error;
    if (!parser.parse(withDemoProfile(QApplication::arguments())))
        error = parser.errorText();
    else
        readProgramOptions(parser, options, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "vornix-can-analyzer: %s\nTry 'vornix-can-analyzer --help' for the options.\n",
                     qPrintable(error));
        return 2;
    }

    // Lives in this scope, so it is stopped after the window (and with it the
    // port) is gone.
    const std::unique_ptr<sim::AdapterEmulator> simulated = startSimulatedAdapter(options);

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
