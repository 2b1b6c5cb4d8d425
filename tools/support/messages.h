#pragma once

// What a command-line program says on standard error, each line beginning
// with the program's name: "vornix-dump: IN.log: 2 bad line(s) skipped ...".

#include "tools/support/exitstatus.h"

#include <QString>

namespace tool {

// The message on a line of its own on standard error, after the program's
// name (QCoreApplication::applicationName()).
void note(const QString &message);

// Says the message (note) and gives the status to exit with.
int fail(const QString &message, int status = exitstatus::CANNOT_START);

// The text of a system error number (errno): "No space left on device".
QString errorText(int errorNumber);

} // namespace tool
