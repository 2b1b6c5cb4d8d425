#pragma once

// Runs a program to its end, as the installation tests need it: headless (the
// offscreen platform, no display variables), in a chosen working directory and
// with extra environment variables.

#include <QString>
#include <QStringList>

struct ProgramRun {
    int status = -1;  // exit status; -1 when it did not start or end in time, -2 when it crashed
    QString out, err; // standard output and standard error
    // "exit 0" or what went wrong, with the error output, for failure messages.
    QString summary() const;
};

ProgramRun runProgram(const QString &program, const QStringList &arguments,
                      const QString &workingDirectory = QString(), const QStringList &environment = {},
                      int timeoutMs = 60000);
