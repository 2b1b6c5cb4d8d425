#include "tools/candump/session.h"

#include "tools/support/exitstatus.h"
#include "tools/support/messages.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace candump {

namespace {

// What the adapter sent before the configuration is dropped until the line
// has been quiet this long, for at most the second figure.
constexpr int STALE_QUIET_MS = 10;
constexpr int STALE_MAX_MS = 100;

} // namespace

Session::Session(const Options &chosen, const sigset_t &blocked)
    : options(chosen)
    , waits(blocked)
{
}

Session::~Session()
{
    if (reading) {
        link.stopReading();
        capture->finish();
        link.setFrameSink(nullptr);
    }
    capture.reset();
}

bool Session::start(QString *error)
{
    link.setBaudRate(options.baud);
    if (!link.openPort(options.port)) {
        *error = QStringLiteral("cannot open %1: %2").arg(options.port, link.errorString());
        return false;
    }
    if (!waits.ready()) {
        *error = QStringLiteral("cannot create the descriptors to wait on");
        return false;
    }
    capture = std::make_unique<capture::Capture>(options.output, waits.wakeDescriptor());
    if (!capture->start(error))
        return false;

    // The configuration and the filter list wait in the port until the
    // reader starts below. Whatever the adapter sent before (under an earlier
    // configuration) is not part of this capture: the port's input is
    // dropped, and so is what the adapter still had queued on its side, up
    // to a moment of quiet on the line (a tenth of a second at most for an
    // adapter that streams on).
    const QByteArray commands = adapterCommands(options);
    link.discardInput(STALE_QUIET_MS, STALE_MAX_MS);
    if (link.writeData(commands) != commands.size()) {
        *error = QStringLiteral("cannot send the configuration to %1: %2").arg(options.port, link.errorString());
        capture->finish();
        for (const QString &made : capture->files()) // they hold no frame
            QFile::remove(made);
        return false;
    }
    link.setFrameSink(capture.get());
    link.startReading();
    reading = true;
    return true;
}

QString Session::run()
{
    started = lastStatus = Clock::now();
    const bool timed = options.seconds > 0;
    const Clock::time_point deadline =
        started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    Clock::time_point nextStatus = started + std::chrono::seconds(1);

    for (;;) {
        Clock::time_point due = Clock::time_point::max();
        if (status.onTerminal())
            due = nextStatus;
        if (timed)
            due = std::min(due, deadline);
        QString why;
        if (!waits.wait(due, &why))
            return why;
        if (capture->failure() != capture::Capture::Failure::None)
            return capture->failureText();
        if (capture->deviceGone())
            return QStringLiteral("the adapter on %1 went away").arg(options.port);
        if (capture->limitReached())
            return QStringLiteral("%1 frames taken").arg(options.output.maxFrames);
        const Clock::time_point now = Clock::now();
        if (timed && now >= deadline)
            return QStringLiteral("%1 s passed").arg(options.seconds);
        if (status.onTerminal() && now >= nextStatus) {
            status.show(statusText(now));
            while (nextStatus <= now)
                nextStatus += std::chrono::seconds(1);
        }
    }
}

QString Session::statusText(Clock::time_point now)
{
    const quint64 frames = capture->framesReceived();
    const double span = std::chrono::duration<double>(now - lastStatus).count();
    const double rate = span > 0 ? double(frames - lastFrames) / span : 0.0;
    lastFrames = frames;
    lastStatus = now;
    QString line = QStringLiteral("%1 frames/s  %2 frames  %3 invalid  %4 identifiers")
                       .arg(rate, 0, 'f', 0)
                       .arg(frames)
                       .arg(link.invalidFrames())
                       .arg(capture->identifiersSeen());
    if (capture->framesLost() > 0)
        line += QStringLiteral("  %1 lost").arg(capture->framesLost());
    const QString file = capture->currentFile();
    if (!file.isEmpty())
        line += QStringLiteral("  ") + QFileInfo(file).fileName();
    return line;
}

Summary Session::finish(const QString &stopReason)
{
    link.stopReading();
    capture->finish();
    link.setFrameSink(nullptr);
    link.closePort();
    reading = false;

    Summary summary;
    summary.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    summary.status = exitstatus::DONE;
    if (capture->failure() == capture::Capture::Failure::WriteFailed)
        summary.status = exitstatus::WRITE_FAILED;
    else if (capture->deviceGone())
        summary.status = exitstatus::DEVICE_GONE;
    status.clear();

    summary.stopReason = stopReason;
    summary.frames = capture->framesReceived();
    summary.invalid = link.invalidFrames();
    summary.lost = capture->framesLost();
    summary.unsupported = capture->framesUnsupported();
    summary.truncated = capture->framesTruncated();
    if (capture->failure() != capture::Capture::Failure::None) {
        // What the output holds, not what was received: the rest is lost to it.
        const quint64 accounted = capture->framesWritten() + summary.lost + summary.unsupported;
        summary.notWritten = summary.frames > accounted ? summary.frames - accounted : 0;
        summary.frames = capture->framesWritten();
    }
    summary.heldBack = capture->framesHeldBack();
    summary.identifiers = capture->identifiersSeen();
    summary.toStandardOutput = options.output.toStandardOutput;
    summary.files = capture->files();
    return summary;
}

} // namespace candump
