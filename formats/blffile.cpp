#include "formats/blffile.h"

#include "core/littleendian.h"
#include "formats/formatparts.h"

#include <QDateTime>

#include <cstring>

namespace formats::blf {

using core::littleEndian;
using core::putLittleEndian;

SystemTime systemTime(qint64 epochUs)
{
    const qint64 ms = epochUs >= 0 ? epochUs / 1000 : -((-epochUs + 999) / 1000);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime);
    SystemTime t;
    const QDate date = local.date();
    const QTime time = local.time();
    if (!date.isValid() || date.year() < 1601 || date.year() > 30827)
        return t;
    t.year = quint16(date.year());
    t.month = quint16(date.month());
    t.dayOfWeek = quint16(date.dayOfWeek() % 7); // Sunday 0
    t.day = quint16(date.day());
    t.hour = quint16(time.hour());
    t.minute = quint16(time.minute());
    t.second = quint16(time.second());
    t.milliseconds = quint16(time.msec());
    return t;
}

bool epochUs(const SystemTime &t, qint64 &us)
{
    const QDate date(t.year, t.month, t.day);
    const QTime time(t.hour, t.minute, t.second, t.milliseconds);
    if (t.year < 1601 || !date.isValid() || !time.isValid())
        return false;
    if (!QDateTime(date, time, Qt::LocalTime).isValid())
        return false;
    us = parts::localToEpochMs(date, time) * 1000;
    return true;
}

namespace {

SystemTime readSystemTime(const char *p)
{
    SystemTime t;
    quint16 *fields[] = {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds};
    for (int i = 0; i < 8; ++i)
        *fields[i] = quint16(littleEndian(p + 2 * i, 2));
    return t;
}

void putSystemTime(char *p, const SystemTime &t)
{
    const quint16 fields[] = {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
    for (int i = 0; i < 8; ++i)
        putLittleEndian(p + 2 * i, fields[i], 2);
}

} // namespace

bool readStatistics(const char *p, Statistics &s)
{
    if (std::memcmp(p, "LOGG", 4) != 0)
        return false;
    s.headerBytes = quint32(littleEndian(p + 4, 4));
    s.application = quint8(p[8]);
    for (int i = 0; i < 3; ++i)
        s.applicationVersion[i] = quint8(p[9 + i]);
    for (int i = 0; i < 4; ++i)
        s.formatVersion[i] = quint8(p[12 + i]);
    s.fileBytes = littleEndian(p + 16, 8);
    s.uncompressedBytes = littleEndian(p + 24, 8);
    s.objectCount = quint32(littleEndian(p + 32, 4));
    s.objectsRead = quint32(littleEndian(p + 36, 4));
    s.start = readSystemTime(p + 40);
    s.last = readSystemTime(p + 56);
    return true;
}

void putStatistics(char *p, const Statistics &s)
{
    std::memset(p, 0, FILE_HEADER_BYTES);
    std::memcpy(p, "LOGG", 4);
    putLittleEndian(p + 4, FILE_HEADER_BYTES, 4);
    p[8] = char(s.application);
    for (int i = 0; i < 3; ++i)
        p[9 + i] = char(s.applicationVersion[i]);
    for (int i = 0; i < 4; ++i)
        p[12 + i] = char(s.formatVersion[i]);
    putLittleEndian(p + 16, s.fileBytes, 8);
    putLittleEndian(p + 24, s.uncompressedBytes, 8);
    putLittleEndian(p + 32, s.objectCount, 4);
    putLittleEndian(p + 36, s.objectsRead, 4);
    putSystemTime(p + 40, s.start);
    putSystemTime(p + 56, s.last);
}

} // namespace formats::blf
