#pragma once

#include <QMap>
#include <QStringList>

// The newest received frame of one identifier as three texts, in this order:
//   [0] timestamp   "HH:mm:ss.zzz" (local time the reader took the frame)
//   [1] idText      upper-case hexadecimal, at least 3 (standard) or 8 (extended) digits
//   [2] payloadText each data byte as two upper-case hex digits followed by one blank
using MessageRecord = QStringList;

// Live store contents: identifier -> newest record, ascending identifier order.
using MessageMap = QMap<quint32, MessageRecord>;
