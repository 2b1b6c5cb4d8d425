#pragma once

// vornix-candump's command line: the options it takes, their texts, and what
// they ask for once read and checked.

#include "link/protocol.h"
#include "tools/candump/plan.h"
#include "tools/support/rateoptions.h"

#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace candump {

struct Options {
    QString port;
    quint32 baud = tool::DEFAULT_COM_RATE;
    const wire::CanRate *canRate = nullptr;
    // --show or --exclude: the filter list's entries as the window's list
    // holds them ("123", "18fef100"), each once, in the order given.
    QStringList filterEntries;
    // What is written and where, and the identifiers the list lets pass.
    capture::Plan output;
    double seconds = 0; // stop after this long; 0: no limit
};

// The program's description, --help, --version and its options.
void describeOptions(QCommandLineParser &parser);

// Reads the parsed command line. False, with *error set, for a value that
// does not do or options that do not go together.
bool readOptions(const QCommandLineParser &parser, Options &options, QString *error);

// What the adapter is sent before the capture starts: the configuration
// and, with --show or --exclude, the filter list, in one write, so that the
// list is in place before the first frames.
QByteArray adapterCommands(const Options &options);

} // namespace candump
