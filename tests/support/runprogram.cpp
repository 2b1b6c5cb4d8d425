#include "tests/support/runprogram.h"

#include <cstdio>

RunningProgram::RunningProgram(const QString &program, const QStringList &arguments,
                               const QStringList &environment, const QString &workingDirectory)
{
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.remove(QStringLiteral("DISPLAY"));
    variables.remove(QStringLiteral("WAYLAND_DISPLAY"));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString &entry : environment) {
        const int equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0)
            variables.remove(entry);
        else
            variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    process.setProcessEnvironment(variables);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
}

RunningProgram::~RunningProgram()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
}

bool RunningProgram::started()
{
    if (process.waitForStarted())
        return true;
    problem = process.errorString();
    return false;
}

void RunningProgram::input(const QByteArray &bytes)
{
    process.write(bytes);
    process.closeWriteChannel();
}

int RunningProgram::finish(int timeoutMs)
{
    if (!process.waitForFinished(timeoutMs) && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        problem = QStringLiteral("did not end within %1 ms").arg(timeoutMs);
    }
    output();
    errors();
    // The sanitizer scripts count the reports in this program's output.
    if (err.contains("Sanitizer"))
        std::fprintf(stderr, "%s", err.constData());
    if (!problem.isEmpty())
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

QByteArray RunningProgram::output()
{
    out += process.readAllStandardOutput();
    return out;
}

QByteArray RunningProgram::errors()
{
    err += process.readAllStandardError();
    return problem.isEmpty() ? err : err + problem.toLocal8Bit();
}

QString ProgramRun::summary() const
{
    return QStringLiteral("exit %1; stderr: %2").arg(status).arg(err.trimmed());
}

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QByteArray &input,
                      const QStringList &environment, const QString &workingDirectory, int timeoutMs)
{
    RunningProgram running(program, arguments, environment, workingDirectory);
    ProgramRun run;
    if (running.started()) {
        running.input(input);
        run.status = running.finish(timeoutMs);
    }
    run.out = QString::fromLocal8Bit(running.output());
    run.err = QString::fromLocal8Bit(running.errors());
    return run;
}
