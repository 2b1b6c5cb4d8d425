#pragma once

#include <QWidget>

// Holds back a widget's repaints and, above all, a table header's per-section
// geometry work while many cells or rows change; one repaint follows when it
// goes out of scope. Updates someone else switched off stay off.
class UpdatesPaused
{
public:
    explicit UpdatesPaused(QWidget *widget)
        : widget(widget)
        , wasEnabled(widget->updatesEnabled())
    {
        if (wasEnabled)
            widget->setUpdatesEnabled(false);
    }
    ~UpdatesPaused()
    {
        if (wasEnabled)
            widget->setUpdatesEnabled(true);
    }
    UpdatesPaused(const UpdatesPaused &) = delete;
    UpdatesPaused &operator=(const UpdatesPaused &) = delete;

private:
    QWidget *widget;
    bool wasEnabled;
};
