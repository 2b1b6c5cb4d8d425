#pragma once

// Device paths that are not serial ports of the system but can be opened like
// one (for instance the slave side of an in-process adapter emulator). The port
// list of the window shows them after the ports the system enumerates.

#include <QList>
#include <QPair>
#include <QString>

// Adds a path with its description; registering a path again replaces its description.
void registerExtraPort(const QString &path, const QString &description);
void clearExtraPorts();
// (path, description) pairs in the order they were registered.
QList<QPair<QString, QString>> extraPorts();
