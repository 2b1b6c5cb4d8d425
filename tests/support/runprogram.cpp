#include "tests/support/runprogram.h"

#include <QProcess>

QString ProgramRun::summary() const
{
    return QStringLiteral("exit %1; stderr: %2").arg(status).arg(err.trimmed());
}

ProgramRun runProgram(const QString &program, const QStringList &arguments, const QString &workingDirectory,
                      const QStringList &environment, int timeoutMs)
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.remove(QStringLiteral("DISPLAY"));
    variables.remove(QStringLiteral("WAYLAND_DISPLAY"));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString &assignment : environment) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        variables.insert(assignment.left(equals), assignment.mid(equals + 1));
    }
    process.setProcessEnvironment(variables);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForStarted()) {
        run.err = process.errorString();
        return run;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not end within %1 ms").arg(timeoutMs);
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}
