#pragma once

// Recordings of CAN traffic in the file formats other CAN tools exchange, read
// and written one frame at a time (memory stays bounded whatever the file
// size):
//
//   DumpCsv  the program's own dump files, "Timestamp;ID;Payload" with the
//            local time of day in milliseconds; the date comes from the file
//            name "dump_yyyy-MM-dd_HH-mm-ss[_N].csv"
//   Candump  can-utils' candump -L log lines, "(1496841006.123456) can0 18FEF100#11223344"
//   Asc      Vector ASC, the subset log2asc and python-can write and read
//   Blf      Vector BLF, the binary log of Vector's tools: objects in zlib-compressed
//            containers (formats/blffile.h)
//
// The frame (formats/canframe.h), the reader and the writer of any format
// (formats/framereader.h, formats/framewriter.h) and the table of the formats
// with their detection and factories (formats/formattable.h).

#include "formats/canframe.h"
#include "formats/formattable.h"
#include "formats/framereader.h"
#include "formats/framewriter.h"
