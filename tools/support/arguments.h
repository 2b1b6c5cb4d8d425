#pragma once

// The command line every program starts with: its name and the project's
// version, --help and --version, and how a command line the parser refuses
// is said and ended.

#include <QString>

class QCommandLineParser;

namespace tool {

// Names the program (its messages begin with the name, --version shows it
// with the project's version) and puts the description, --help and
// --version on the parser. The program's own options follow.
void describeProgram(QCommandLineParser &parser, const QString &name, const QString &description);

// The text after the parser's complaint: where to look.
inline const QString SEE_HELP = QStringLiteral("; see --help");

// Parses the program's arguments. --help and --version are answered here
// (exit status 0); a command line the parser refuses (an unknown option, a
// missing value) is said with `hint` after it and gives
// exitstatus::CANNOT_START in `status`. True when the program goes on.
bool parseArguments(QCommandLineParser &parser, int &status, const QString &hint = SEE_HELP);

} // namespace tool
