#pragma once

// can-utils' candump -L logs (candumpreader.cpp, candumpwriter.cpp).

#include "formats/framereader.h"
#include "formats/framewriter.h"

#include <memory>

namespace formats::parts {

bool looksLikeCandump(const QByteArray &head);
std::unique_ptr<FrameReader> makeCandumpReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeCandumpWriter(QIODevice *device, const WriteOptions &options);

} // namespace formats::parts
