#pragma once

// The program's command-line options, read without a window: the simulated
// adapter of --demo or --replay and what it sends. Without any option the
// program starts exactly as always (no simulated adapter).

#include <QString>
#include <QStringList>

class QCommandLineParser;

struct ProgramOptions {
    enum class Simulation { None, Truck, Load, Replay };
    Simulation simulation = Simulation::None;
    int loadRate = 1000; // frames per second in total (load profile)
    int loadIds = 64;    // distinct identifiers (load profile)
    QString replayFile;
    bool loop = false;
    double speed = 1.0;
    double startSeconds = 0;
    bool fmsValidOnly = false;
};

// Declares the options (and --help, --version) on a parser.
void addProgramOptions(QCommandLineParser &parser);

// "--demo" is followed by an optional profile name; the parser knows only
// options with a value or without. A "--demo" that no profile follows gets
// the truck profile written in.
QStringList withDemoProfile(const QStringList &arguments);

// Reads the options from a parser that has parsed the arguments. False with a
// message in *error when a value is out of range or options do not go together.
bool readProgramOptions(const QCommandLineParser &parser, ProgramOptions &options, QString *error);

// "Vornix Can Analyzer 1.1.2".
QString versionText();
