#include "tools/support/arguments.h"

#include "tools/support/messages.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tool {

void describeProgram(QCommandLineParser &parser, const QString &name, const QString &description)
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(VORNIX_VERSION));
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
}

bool parseArguments(QCommandLineParser &parser, int &status, const QString &hint)
{
    if (!parser.parse(QCoreApplication::arguments())) {
        status = fail(parser.errorText() + hint, exitstatus::CANNOT_START);
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    return true;
}

} // namespace tool
