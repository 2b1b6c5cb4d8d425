#pragma once

// vornix-slcan's command line: the options it takes, their texts (the
// adapter's two rates as every tool names them), and what they ask for once
// read and checked.

#include "link/protocol.h"
#include "tools/support/rateoptions.h"

#include <QString>

class QCommandLineParser;

namespace slcantool {

struct Options {
    QString port;
    quint32 baud = tool::DEFAULT_COM_RATE;
    // -r: the rate every open takes, whatever the client's Sn; nullptr: the client's.
    const wire::CanRate *fixedRate = nullptr;
    QString linkPath; // --link; empty: none
};

// The program's description, --help, --version and its options.
void describeOptions(QCommandLineParser &parser);

// Reads the parsed command line. False, with *error set, for a value that
// does not do.
bool readOptions(const QCommandLineParser &parser, Options &options, QString *error);

} // namespace slcantool
