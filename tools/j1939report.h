#pragma once

// vornix-dump's J1939 output: the summary of a recording for people and as
// JSON, and the parameter group and sender beside an extended identifier in
// "info".

#include <QByteArray>
#include <QString>

namespace j1939 {
class BusSummary;
}

namespace j1939report {

// The summary for people: control units with their claims and parameter
// groups, identifications, fault codes, transport sessions and multi-packet
// messages.
QByteArray text(const j1939::BusSummary &summary);

// The same as one JSON object (on one line, with a line feed).
QByteArray json(const j1939::BusSummary &summary);

// "61444 EEC1     0 Engine #1": PGN, its acronym (or "-"), source address and
// its name.
QString identifierColumns(quint32 id);
// The heading of those columns.
QString identifierHeading();

} // namespace j1939report
