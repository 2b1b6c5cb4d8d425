#include "monitor/paintpacer.h"

#include <QWidget>

PaintPacer::PaintPacer(int frameMs)
    : frameMs(frameMs)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] { release(); });
}

void PaintPacer::setWidgets(QWidget *wholeWidget, QWidget *contentWidget)
{
    whole = wholeWidget;
    content = contentWidget;
}

// Updates someone else switched off stay theirs to switch on.

void PaintPacer::holdContent()
{
    if (heldWhole || heldContent || !content || !content->updatesEnabled())
        return;
    heldContent = true;
    content->setUpdatesEnabled(false);
    arm();
}

void PaintPacer::holdWhole()
{
    if (heldWhole || !whole || !whole->updatesEnabled())
        return;
    heldWhole = true;
    whole->setUpdatesEnabled(false);
    arm();
}

void PaintPacer::arm()
{
    if (timer.isActive())
        return;
    const qint64 due = sinceRelease.isValid() ? frameMs - sinceRelease.elapsed() : 0;
    timer.start(int(qMax<qint64>(0, due)));
}

void PaintPacer::release()
{
    if (!holding())
        return;
    const bool wasWhole = heldWhole;
    const bool wasContent = heldContent;
    heldWhole = heldContent = false;
    sinceRelease.start();
    // Switching updates on again marks the widgets for a repaint as a whole
    // (the whole widget's children too, but not a child switched off on its
    // own: that one comes after). The repaint is done at once, not left to a
    // posted request: the next change (a millisecond later) would hold the
    // widget again before that request is served, and the frame would be lost.
    if (wasWhole)
        whole->setUpdatesEnabled(true);
    if (wasContent)
        content->setUpdatesEnabled(true);
    if (wasWhole)
        whole->repaint();
    else
        content->repaint();
}
