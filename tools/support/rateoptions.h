#pragma once

// The adapter's two rates on a tool's command line, with the same names and
// texts in every tool that opens the adapter:
//   -b, --baud BAUD       the COM rate of the serial line, one of the window's
//                         (default 2000000)
//   -r, --can-rate RATE   the CAN bit rate, "500 kbps" as the window names it,
//                         or short: 500k, 83.333k, "500 k", 500kbps (any case)

#include "link/protocol.h"

#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;

namespace tool {

constexpr quint32 DEFAULT_COM_RATE = 2000000;

QCommandLineOption comRateOption();
// `required` says so in the option's text.
QCommandLineOption canRateOption(bool required);

// Reads -b: one of wire::COM_RATES, DEFAULT_COM_RATE when it is not given.
// False, with *error set, for any other value.
bool readComRate(const QCommandLineParser &parser, quint32 &baud, QString *error);

// Reads -r into *rate; nullptr when it is not given, which is an error when
// `required`. False, with *error set, for a rate the adapter does not have.
bool readCanRate(const QCommandLineParser &parser, bool required, const wire::CanRate *&rate, QString *error);

// The adapter's CAN rate a text names, either way, or nullptr.
const wire::CanRate *canRateOf(const QString &text);

// "\"33.333 kbps\", \"50 kbps\", ..." and "9600, 19200, ...".
QString canRateList();
QString comRateList();

} // namespace tool
