#pragma once

// Vector BLF, the binary log of Vector's tools (blfreader.cpp, blfwriter.cpp,
// on the codec of blfdecoder.h and blfencoder.h).

#include "formats/framereader.h"
#include "formats/framewriter.h"

#include <memory>

namespace formats::parts {

bool looksLikeBlf(const QByteArray &head);
std::unique_ptr<FrameReader> makeBlfReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeBlfWriter(QIODevice *device, const WriteOptions &options);

} // namespace formats::parts
