#pragma once

// The program's dump files (dumpreader.cpp, dumpwriter.cpp).

#include "formats/framereader.h"
#include "formats/framewriter.h"

#include <memory>

namespace formats::parts {

bool looksLikeDump(const QByteArray &head);
std::unique_ptr<FrameReader> makeDumpReader(QIODevice *device, const ReadOptions &options);
std::unique_ptr<FrameWriter> makeDumpWriter(QIODevice *device, const WriteOptions &options);

} // namespace formats::parts
