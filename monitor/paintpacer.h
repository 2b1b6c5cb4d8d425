#pragma once

// Holds a widget's repaints while it changes many times within one display
// frame, and lets one repaint through per frame.

#include <QElapsedTimer>
#include <QTimer>

class QWidget;

class PaintPacer
{
public:
    // Frames of 16 ms: at most 62.5 repaints per second.
    explicit PaintPacer(int frameMs = 16);

    // The widget as a whole, and the child whose contents most changes touch
    // (a table's viewport: cell texts and colours).
    void setWidgets(QWidget *whole, QWidget *content);

    // Call before changing what the widget shows: holdContent() when only the
    // content child changes, holdWhole() when more may change (rows, headers,
    // scroll bars). Repaints are held from now until the next frame is due
    // (at once when the last frame is older than one frame); then what was
    // held is repainted once, as a whole, there and then.
    void holdContent();
    void holdWhole();
    bool holding() const { return heldWhole || heldContent; }

private:
    void arm();
    void release();

    QWidget *whole = nullptr;
    QWidget *content = nullptr;
    QTimer timer;
    QElapsedTimer sinceRelease;
    int frameMs;
    bool heldWhole = false;
    bool heldContent = false;
};
