#pragma once

#include <QString>
#include <QTableWidgetItem>
#include <QVariant>

// A row of the scroll log holds ten cells that are never edited, only read,
// recoloured by "HIGHLIGHT CHANGES" off and removed; a hundred thousand rows
// are kept. A plain table item stores its text in a list of role values of its
// own (an allocation for the list, another for the text); this one keeps the
// text, usually shared with other cells, in the item itself and answers it as
// its display text until one is set. Otherwise it is a plain table item of
// the default type.
class LogCell : public QTableWidgetItem
{
public:
    explicit LogCell(const QString &text)
        : cellText(text)
    {
    }
    QVariant data(int role) const override;
    QTableWidgetItem *clone() const override { return new LogCell(*this); }

private:
    QString cellText;
};
