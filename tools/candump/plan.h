#pragma once

// What a capture writes, and where: standard output or a file (or a numbered
// series of files) in one of the recording formats, and the identifiers the
// adapter was told to pass.

#include "formats/frameio.h"

#include <QString>

#include <vector>

namespace capture {

struct Plan {
    bool toStandardOutput = true;
    QString path;                 // the file to write (the first of a numbered series when rotating)
    formats::Format format = formats::Format::Candump;
    QString channel = QStringLiteral("can0");
    qint64 rotateBytes = 0;       // a new file once one holds this many bytes; 0: never
    qint64 rotateUs = 0;          // a new file once one spans this much frame time; 0: never
    quint64 maxFrames = 0;        // stop after this many frames; 0: no limit
    // The identifier filter list sent to the adapter. The adapter answers
    // nothing, so the capture cannot tell when it has taken the list; frames
    // that come before are held back here by the same list.
    bool filterList = false;
    bool excludeListed = false;
    std::vector<quint32> listed;  // sorted

    bool rotating() const { return rotateBytes > 0 || rotateUs > 0; }
};

} // namespace capture
