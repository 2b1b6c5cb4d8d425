#pragma once

// Vector ASC logs (ascreader.cpp, ascwriter.cpp).

#include "formats/framereader.h"
#include "formats/framewriter.h"

#include <memory>

namespace formats::parts {

bool looksLikeAsc(const QByteArray &head);
std::unique_ptr<FrameReader> makeAscReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeAscWriter(QIODevice *device, const WriteOptions &options);

} // namespace formats::parts
