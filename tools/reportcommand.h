#pragma once

// "vornix-dump report FILE -o trip.html": the command's options, its output
// file and time window around the trip report library (report/). vornix-dump
// opens the input and hands its frames over.

#include "report/htmlreport.h"
#include "report/timewindow.h"
#include "report/triprecorder.h"

#include <QString>
#include <QStringList>

#include <memory>

class QCommandLineParser;

namespace formats {
struct CanFrame;
}

class ReportCommand
{
public:
    // Checks the command line and the output before any input is read:
    // false with *error, and *usage when the command line is wrong.
    bool prepare(const QCommandLineParser &parser, const QStringList &files, QString *error, bool *usage);
    QString inputPath() const { return input; }
    // The format given with --from, empty when it is to be found out.
    QString inputFormatName() const { return inputFormat; }

    // Each frame of the input, in its order.
    void add(const formats::CanFrame &frame);

    // Writes the report (and with --open shows it); false with *error.
    bool finish(const QString &inputFormat, QString *error);

private:
    QString input;
    QString inputFormat;
    QString output;
    bool open = false;
    report::ReportOptions options;
    report::TimeWindow window;
    std::unique_ptr<report::TripRecorder> trip;
};
