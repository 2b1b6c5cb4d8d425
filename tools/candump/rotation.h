#pragma once

// The files a capture writes to: the one named, or with rotation a numbered
// series, the next one started once a file holds so many bytes or its
// frames span so much time. Used by the writer thread only.

#include "tools/candump/outputdevice.h"

#include <QString>

#include <memory>

namespace capture {

// Name of file `number` of a rotated series: "trip.log", 3 -> "trip_0003.log"
// (the number takes more digits past 9999).
QString numberedName(const QString &path, int number);

class Rotation
{
public:
    // A new file once one holds `bytes` bytes or spans `us` microseconds of
    // frame time (0: never).
    Rotation(const QString &path, qint64 bytes, qint64 us);

    bool rotating() const { return rotateBytes > 0 || rotateUs > 0; }

    // Creates the next file, never replacing one: the path itself without
    // rotation, else the next numbered name that is free (files of an
    // earlier run stay). nullptr, with *error set, when none can be created.
    std::unique_ptr<OutputDevice> createNext(QString *error);

    // The current file must end before a frame of this time.
    bool dueByTime(qint64 timeUs) const
    {
        return rotateUs > 0 && fileStartUs >= 0 && timeUs - fileStartUs >= rotateUs;
    }
    // A frame of this time goes to the current file.
    void frameWritten(qint64 timeUs)
    {
        if (fileStartUs < 0)
            fileStartUs = timeUs;
    }
    // The current file must end, holding this many bytes.
    bool dueBySize(qint64 bytes) const { return rotateBytes > 0 && bytes >= rotateBytes; }
    // The current file has ended; the next one starts with its first frame.
    void fileEnded() { fileStartUs = -1; }

private:
    const QString path;
    const qint64 rotateBytes;
    const qint64 rotateUs;
    int fileNumber = 0;
    qint64 fileStartUs = -1; // time of the current file's first frame
};

} // namespace capture
