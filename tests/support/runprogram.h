#pragma once

// Programs run by the tests and benchmarks, always the same way: headless (the
// offscreen platform, no display variables), with a time limit, their output
// collected. RunningProgram runs one in the background (signals, output read
// while it runs); runProgram() runs one to its end.
//
// Environment entries are "NAME=value" to set a variable and "NAME" alone to
// remove it (for instance "QT_QPA_PLATFORM" to run without any platform).

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class RunningProgram
{
public:
    RunningProgram(const QString &program, const QStringList &arguments, const QStringList &environment = {},
                   const QString &workingDirectory = QString());
    ~RunningProgram(); // kills it when it still runs

    RunningProgram(const RunningProgram &) = delete;
    RunningProgram &operator=(const RunningProgram &) = delete;

    bool started(); // waits for the start
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }
    // Writes to its standard input, and closes it.
    void input(const QByteArray &bytes);

    // Waits for its end and gives the exit status: -1 when it did not start or
    // did not end within timeoutMs (it is killed then), -2 when it crashed. A
    // sanitizer report in its error output is passed on to this program's.
    int finish(int timeoutMs = 60000);

    // Everything it has written so far.
    QByteArray output();
    QByteArray errors();

private:
    QProcess process;
    QByteArray out, err;
    QString problem; // why it did not start or end
};

struct ProgramRun {
    int status = -1;  // as RunningProgram::finish gives it
    QString out, err; // standard output and standard error
    // "exit 0" or what went wrong, with the error output, for failure messages.
    QString summary() const;
};

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                      const QStringList &environment = {}, const QString &workingDirectory = QString(),
                      int timeoutMs = 60000);
