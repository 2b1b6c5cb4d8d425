#pragma once

// The recording formats, in one table: each one's name, the file name
// extensions and first bytes that tell it, the words the help texts use for
// it, and the factories of its reader and writer. Detection, conversion,
// replay, the logger's output and the help texts all go through it; a format
// joins by a value of Format, a row of the table and its own reader and
// writer.

#include "formats/framereader.h"
#include "formats/framewriter.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QIODevice;

namespace formats {

enum class Format { DumpCsv, Candump, Asc, Blf };

struct FormatInfo {
    Format format;
    QString name;            // as --from/--to take it and messages show it: "candump"
    QStringList otherNames;  // also taken for it: "log"
    QStringList extensions;  // of its files, without the point and in lower case: "log"
    QString description;     // for help texts, with its article: "a candump -L log"
    // Whether the first bytes of a file (up to 4096) are of this format.
    bool (*looksLike)(const QByteArray &head);
    std::unique_ptr<FrameReader> (*makeReader)(QIODevice *device, const ReadOptions &options);
    std::unique_ptr<FrameWriter> (*makeWriter)(QIODevice *device, const WriteOptions &options);
    // Made of binary records rather than lines: its writer hands whole
    // records (BLF's containers) to each write of the device.
    bool binary = false;
};

// Every format, in the order detection tries them and help texts list them.
const std::vector<FormatInfo> &formatTable();
const FormatInfo &formatInfo(Format format);

// "csv", "candump", "asc", "blf".
QString formatName(Format format);
// From a name of the table ("log" is taken for candump as well, case
// ignored); false for an unknown name.
bool formatFromName(const QString &name, Format &format);
// From the file name's extension (case ignored); false for any other.
bool formatFromPath(const QString &path, Format &format);
// From the first bytes of a file; false when they look like none of the formats.
bool formatFromContent(const QByteArray &head, Format &format);
// From the extension of path (none for an empty path, standard input), else
// from the first bytes of the open device, which stay to be read.
bool detectFormat(const QString &path, QIODevice *device, Format &format);

// For help texts and messages, in the table's order:
// "csv, candump, asc or blf"
QString formatNameList();
// "csv|candump|asc|blf"
QString formatNameChoices();
// ".csv, .log or .asc"
QString formatExtensionList();
// "a dump file (.csv), a candump -L log (.log), a Vector ASC log (.asc) or a
// Vector BLF log (.blf)"
QString formatDescriptionList();

// A reader or a writer of the format for an open device. A dump file writer
// starts with the header line; an ASC writer writes its header before the
// first frame (it carries that frame's date) or, without any frame, at finish().
std::unique_ptr<FrameReader> openReader(Format format, QIODevice *device, const ReadOptions &options = {});
std::unique_ptr<FrameWriter> openWriter(Format format, QIODevice *device, const WriteOptions &options = {});

} // namespace formats
