#pragma once

// A traffic source that hands out the first `count` frames of another one and
// then ends, so that a test or a benchmark knows exactly what the emulated
// adapter sent: the same frames, in the same order, as a second instance of
// the inner source gives when asked for them.

#include "sim/trafficprofile.h"

#include <memory>

class CountedTraffic : public sim::TrafficSource
{
public:
    CountedTraffic(std::unique_ptr<sim::TrafficSource> inner, quint64 count)
        : source(std::move(inner))
        , limit(count)
    {
    }
    void restart() override
    {
        source->restart();
        taken = 0;
    }
    bool hasNext() const override { return taken < limit && source->hasNext(); }
    qint64 nextDueNs() const override { return source->nextDueNs(); }
    sim::EmulatedFrame takeNext() override
    {
        ++taken;
        return source->takeNext();
    }
    QString describe() const override { return source->describe() + QStringLiteral(", %1 frames").arg(limit); }

private:
    std::unique_ptr<sim::TrafficSource> source;
    quint64 limit;
    quint64 taken = 0;
};
