#pragma once

// The program's command-line options, read without a window: the simulated
// adapter of --demo or --replay and what it sends. Without any option the
// program starts exactly as always (no simulated adapter).

#include "sim/trafficoptions.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;

struct ProgramOptions {
    bool simulated = false;      // a simulated adapter is listed, playing `traffic`
    sim::TrafficOptions traffic; // truck or load (--demo), or replay (--replay)
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
