#pragma once

// Widget-free rules of the message table: how a record becomes cells, which
// payloads count as all-zero, how rows are searched, aged and ordered, and the
// style sheet of a given font size. The table slots (app/tablerefreshslots.cpp,
// app/tabletoolslots.cpp) apply them.

#include "core/messagerecord.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QVector>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

namespace tablelogic {

// The table has ten columns: timestamp, identifier and the bytes B0..B7.
constexpr int COLUMN_COUNT = 10;
// Columns 2 and up hold the data bytes.
constexpr int FIRST_BYTE_COLUMN = 2;

// The fields that one record puts into a row, as views into the record's own
// texts: timestamp, idText, then the data bytes of the trimmed payload split at
// single blanks (empty parts kept); a record without data yields three fields,
// the third one empty. The first `max` fields go to `out`; returns how many
// fields the record has.
int fieldViews(const MessageRecord &record, QStringView *out, int max);

// The text of a cell: the field with two blanks on either side.
QString cellText(QStringView field);

// True when `text` is exactly what cellText(field) gives, without building it.
bool cellTextEquals(const QString &text, QStringView field);

// Cell texts shared between cells. The table shows few distinct texts: the
// 256 byte values, the identifiers, and timestamps that repeat within a
// millisecond; a text asked for again is handed out as the same (implicitly
// shared) string instead of a new one, which saves a string per cell.
class SharedCellTexts
{
public:
    // cellText(field), shared when this text was made before.
    QString cellFor(QStringView field);
    // Distinct texts kept besides the 256 byte texts.
    int kept() const { return others.size(); }

private:
    QString bytes[256];
    // By hash of the field; a hash that two fields share keeps the first.
    QHash<uint, QString> others;
};

// True when the payload, trimmed and stripped of blanks, reads as the unsigned
// 64-bit hexadecimal number 0. Empty, unreadable or longer than 16 digits also
// count as 0.
bool payloadIsZero(const QString &payloadText);

// Age in whole seconds of a row stamped "HH:mm:ss.zzz" (surrounding blanks are
// ignored) at the time of day `now`; both are cut to whole seconds before the
// subtraction, so the age is negative across midnight. An invalid text gives 0.
int rowAgeSeconds(QStringView timeText, const QTime &now);

// Ordered insertion of a new identifier: rebuilds `orderedIds` as the
// identifiers of `rowOfId` plus `newId`, ascending, maps every identifier to its
// position in that list and returns the new identifier's position, which is
// the row to insert. `newId` must not have a row yet.
int placeOrdered(QMap<quint32, int> &rowOfId, QList<quint32> &orderedIds, quint32 newId);

// The ordered insertion of several new identifiers, one after the other in
// ascending order, done at once: leaves rowOfId and orderedIds as the same
// number of placeOrdered calls would, and returns the row each of them
// inserts, in the same order (ascending: each new row lands below the ones
// before). `newIds` must be ascending and have no rows yet.
QVector<int> placeOrderedAll(QMap<quint32, int> &rowOfId, QList<quint32> &orderedIds,
                             const QVector<quint32> &newIds);

// Style sheet of the message table at `pointSize`; `step` > 0 for the "+"
// button, otherwise the "-" button (each uses its own run of blanks).
QString fontStyleSheet(int pointSize, int step);

} // namespace tablelogic
