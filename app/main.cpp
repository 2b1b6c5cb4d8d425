#include "app/commandline.h"
#include "app/extraports.h"
#include "app/mainwindow.h"
#include "sim/emulator.h"
#include "sim/replaytraffic.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QFileInfo>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

// The simulated adapter the options ask for, on a pseudo-terminal, listed after
// the real ports. *error is set (and nothing returned) when a replay cannot be
// played; a device that cannot be made is said on stderr, and the window opens
// all the same.
std::unique_ptr<sim::AdapterEmulator> startSimulatedAdapter(const ProgramOptions &options, QString *error)
{
    if (!options.simulated)
        return nullptr;
    std::unique_ptr<sim::TrafficSource> traffic = sim::openTraffic(options.traffic, error);
    if (!traffic)
        return nullptr;
    const QString description = options.traffic.profile == sim::TrafficOptions::Profile::Replay
                                    ? QStringLiteral("replay of ") + QFileInfo(options.traffic.replay.path).fileName()
                                    : QStringLiteral("demo adapter");
    auto adapter = std::make_unique<sim::AdapterEmulator>(std::move(traffic));
    QString failure;
    if (!adapter->start(&failure)) {
        qWarning("simulated adapter not available: %s", qPrintable(failure));
        return nullptr;
    }
    registerExtraPort(adapter->devicePath(), description);
    return adapter;
}

// Reads a replayed file once in the background and says on stderr what the
// replay leaves out: bad lines (how many, the first one) and frames the adapter
// cannot send.
class ReplaySurvey
{
public:
    explicit ReplaySurvey(const QString &path)
        : worker([this, path] { report(path, sim::ReplayTraffic::survey(path, stop)); })
    {
    }
    ~ReplaySurvey()
    {
        stop = true;
        worker.join();
    }
    ReplaySurvey(const ReplaySurvey &) = delete;
    ReplaySurvey &operator=(const ReplaySurvey &) = delete;

private:
    static void report(const QString &path, const sim::ReplayTraffic::Survey &survey)
    {
        if (!survey.complete)
            return;
        if (survey.badLines > 0)
            std::fprintf(stderr, "vornix-can-analyzer: %s: %lld bad %s(s) skipped, the first at %s: %s\n",
                         qPrintable(path), static_cast<long long>(survey.badLines), qPrintable(survey.badWhat),
                         qPrintable(survey.firstBadPlace), qPrintable(survey.firstBadReason));
        if (survey.leftOut > 0)
            std::fprintf(stderr, "vornix-can-analyzer: %s: %lld frame(s) the adapter cannot send (remote requests, "
                                 "CAN FD or error frames) left out\n",
                         qPrintable(path), static_cast<long long>(survey.leftOut));
        if (survey.cut > 0)
            std::fprintf(stderr, "vornix-can-analyzer: %s: %lld frame(s) with more than 8 data bytes sent as their "
                                 "first 8\n",
                         qPrintable(path), static_cast<long long>(survey.cut));
    }

    std::atomic<bool> stop{false};
    std::thread worker;
};

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
    const std::unique_ptr<sim::AdapterEmulator> simulated = startSimulatedAdapter(options, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "vornix-can-analyzer: %s\n", qPrintable(error));
        return 2;
    }
    std::unique_ptr<ReplaySurvey> survey;
    if (simulated && options.traffic.profile == sim::TrafficOptions::Profile::Replay)
        survey = std::make_unique<ReplaySurvey>(options.traffic.replay.path);

    MainWindow window;
    window.setFmsValidOnly(options.fmsValidOnly);
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
