#pragma once

// The texts of a message record, made and read in one place: the time of day
// "HH:mm:ss.zzz", the identifier text (upper-case hexadecimal, at least 3 or
// 8 digits) and the payload text (two upper-case hexadecimal digits and a
// blank per byte). The reader makes them, the dump files store them, the
// table, the FMS panel and the dump reader read them back.

#include <QString>
#include <QStringView>

namespace recordtext {

// Current local time as "HH:mm:ss.zzz".
QString currentTimestamp();
// The local time of day of an instant (milliseconds since 1970-01-01 UTC) as
// "HH:mm:ss.zzz".
QString timestampText(qint64 msecsSinceEpoch);

// Milliseconds since midnight of an exact "HH:mm:ss.zzz" text, or -1 for any
// other text (surrounding blanks are not allowed).
int timestampMsecs(QStringView text);
int timestampMsecs(const char *text, int size);

// Upper-case hexadecimal, left-padded with "0" to 3 digits for a standard and
// to 8 digits for an extended identifier; a longer number keeps all digits.
QString recordIdText(quint32 id, bool standard);

// Each byte as two upper-case hexadecimal digits followed by one blank; empty
// for no bytes.
QString payloadText(const char *bytes, int count);

} // namespace recordtext
