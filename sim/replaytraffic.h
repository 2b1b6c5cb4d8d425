#pragma once

// A recording played as an adapter's traffic: the frames of a file in any of
// the recording formats (formats/formattable.h), at their recorded timing
// (scaled by a speed), read from the file as they are due, so that a file of
// any size plays in bounded memory. Frames the adapter has no form for
// (remote requests, CAN FD frames) are left out and counted; more than 8 data
// bytes are cut to 8.

#include "formats/frameio.h"
#include "sim/trafficprofile.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <memory>

namespace sim {

struct ReplaySettings {
    QString path;
    bool loop = false;          // over and over, each round 100 ms after the last frame
    double speed = 1.0;         // 2 plays twice as fast
    double startSeconds = 0;    // the frames of the first S seconds are skipped
};

// The speeds a replay takes.
constexpr double MIN_REPLAY_SPEED = 0.1;
constexpr double MAX_REPLAY_SPEED = 100.0;
// The latest due time of a frame (about 146 years): frames recorded further
// apart than that are due at it.
constexpr qint64 MAX_DUE_NS = qint64(1) << 62;

class ReplayTraffic : public TrafficSource
{
public:
    // Opens the file, tells its format (by the extension, else by the content)
    // and reads up to the first frame to play. nullptr with *error when the
    // file cannot be read, its format cannot be told or it has no frame to play,
    // and for a pipe, a FIFO or a device: a replay reads its file anew at
    // every restart, which such an input cannot give.
    static std::unique_ptr<ReplayTraffic> open(const ReplaySettings &settings, QString *error);

    void restart() override;
    bool hasNext() const override { return haveNext; }
    qint64 nextDueNs() const override { return nextDue; }
    EmulatedFrame takeNext() override;
    QString describe() const override;
    // A recording is played whole, late rather than with gaps.
    bool keepsEveryFrame() const override { return true; }

    // The file's format and what a full pass over it finds: its frames, the
    // frames left out, the bad lines (the first one's number and fault; of a
    // binary format, the bad records and the first one's place).
    struct Survey {
        formats::Format format = formats::Format::Candump;
        qint64 frames = 0;
        qint64 leftOut = 0;   // remote requests, CAN FD and error frames
        qint64 cut = 0;       // more than 8 data bytes
        qint64 badLines = 0;
        qint64 firstBadLine = 0;
        QString firstBadReason;
        QString badWhat = QStringLiteral("line");      // or "record"
        QString firstBadPlace;                         // "line 3", "byte offset 4096"
        bool complete = false; // false when stopped before the end
    };
    // Reads the whole file once, streaming, until done or *stop is set
    // (nothing, and not complete, for an input that is no regular file).
    static Survey survey(const QString &path, const std::atomic<bool> &stop);

private:
    explicit ReplayTraffic(const ReplaySettings &settings, formats::Format format);
    bool openReader();
    // Reads on to the next frame to play and computes its due time.
    void advance();

    ReplaySettings settings;
    formats::Format format;
    std::unique_ptr<QFile> file;
    std::unique_ptr<formats::FrameReader> reader;
    formats::CanFrame frame;
    bool haveNext = false;
    qint64 nextDue = 0;       // ns since the restart
    qint64 originUs = 0;      // recording time that is due at 0 in this round
    bool originSet = false;
    qint64 roundOffsetNs = 0; // added to due times in later rounds of a loop
    qint64 lastDueNs = 0;
};

} // namespace sim
