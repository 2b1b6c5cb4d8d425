#pragma once

// Painting of the live message table at the link's top rate.
//
// CellDelegate draws plain text cells the way the widget style draws them, but
// keeps every cell text laid out (shaped) once, and remembers size hints per
// text; anything it does not know to reproduce exactly (selection, focus,
// icons, check boxes, fonts or colours of a cell's own, text that does not fit)
// is left to the style.
//
// ContentFit sizes the columns and rows to their contents like the view does.
//
// LabelHeader is a table header that measures each label once.
//
// PaintPacer holds a widget's repaints while it changes many times within one
// display frame, and lets one repaint through per frame.
//
// Both need QtWidgets; this file belongs to the window library.

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QHeaderView>
#include <QString>
#include <QStyledItemDelegate>
#include <QTableWidgetItem>
#include <QTimer>
#include <QVector>

#include <memory>
#include <unordered_map>

class QStyle;
class QTableWidget;
class QTableWidgetItem;
class QTextLayout;
class QWidget;

class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(QObject *parent = nullptr);
    ~CellDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Cells painted so far from laid-out texts, and handed to the style.
    long cellsFromLayouts() const { return fromLayouts; }
    long cellsByStyle() const { return byStyle; }

private:
    // What a cell holds when it is a plain text cell: a display text, maybe an
    // alignment and a background brush, and none of the roles that change how
    // the style lays it out or colours its text.
    struct PlainCell {
        QString text;
        QBrush background;
        Qt::Alignment alignment;
        bool ownAlignment = false;
    };
    enum class Content { Plain, Empty, Other };
    // Plain: a text cell as above; Empty: no data at all (no item), which the
    // style draws as nothing; Other: anything else.
    static Content readPlain(const QModelIndex &index, PlainCell *cell);

    struct Key {
        QString text;
        int width; // line width of the layout, or of the wrap bound for sizes (-1: none)
        int flags; // alignment, direction and wrap mode
        bool operator==(const Key &other) const
        {
            return width == other.width && flags == other.flags && text == other.text;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key &key) const
        {
            return qHash(key.text) ^ (std::size_t(key.width) * 0x9E3779B1u) ^ (std::size_t(key.flags) << 20);
        }
    };
    struct Layout;
    // Two generations: lookups move entries into the young one; when it is
    // full the old one is dropped, so texts that keep showing stay cached and
    // one-off texts (timestamps) age out.
    template <typename Value>
    struct Generations {
        std::unordered_map<Key, Value, KeyHash> young, old;
        Value *find(const Key &key);
        Value &insert(Key key, Value value);
        void clear()
        {
            young.clear();
            old.clear();
        }
        int size() const { return int(young.size() + old.size()); }
    };

    // The font and style the caches were built for; a change empties them.
    bool sameContext(const QStyleOptionViewItem &option, const QStyle *style) const;
    void resetContext(const QStyleOptionViewItem &option, const QStyle *style) const;

    const Layout *layoutFor(const QString &text, const QStyleOptionViewItem &option, Qt::Alignment alignment,
                            int lineWidth) const;

    mutable QFont font;
    mutable const QStyle *style = nullptr;
    mutable int textMargin = 0;
    mutable Generations<std::shared_ptr<Layout>> layouts;
    mutable Generations<QSize> sizes;
    mutable long fromLayouts = 0;
    mutable long byStyle = 0;
};

// Fits a table's columns and rows to their contents with the same widths and
// heights as the view's own resizeColumnsToContents() and resizeRowsToContents()
// (columns first, then rows), for a fraction of their cost: a cell's size hint
// is computed once per distinct text and looked up afterwards, and a row-number
// label's height once per number of digits. It relies on what this program's
// cells carry: a text, an alignment and a background, none of which but the
// text changes a cell's size. Should a cell's text wrap at its column's width,
// the rows are left to the view's own resize.
class ContentFit
{
public:
    void fit(QTableWidget *table);
    void fitColumns(QTableWidget *table);
    void fitRows(QTableWidget *table);

    // Rows whose cells the column fit looks at, in the view's own choice: the
    // rows in sight, then alternately above and below, up to the vertical
    // header's resize precision; hidden rows do not count.
    static QVector<int> sampledRows(const QTableWidget *table);

private:
    // The size hint of a cell with this text (null: no item), unwrapped.
    QSize cellHint(const QTableWidget *table, int row, int col, const QTableWidgetItem *item);
    int rowLabelHint(const QTableWidget *table, int row);
    void checkContext(const QTableWidget *table);

    QHash<QString, QSize> hints;
    QSize emptyHint;
    QHash<int, int> labelHints; // by digit count
    QFont font;
    const QStyle *style = nullptr;
};

// A table header measuring each label once. Whenever rows come or go the view
// lays its headers out again and asks both for the size they want; the
// column header then measures its ten labels and the row header those of its
// first and last hundred rows, shaping each text anew: in scroll mode, on
// every refresh. This header keeps the measured sizes: for row numbers in a
// font whose digits are all equally wide (tabular figures), one per number of
// digits, else one per label text. Labels with a font, icon or size of their
// own, or a sort indicator, are measured as usual. It declares no meta-object
// of its own, so to the rest of the program it is the QHeaderView the table
// would have made, and it is set up the same way.
class LabelHeader : public QHeaderView
{
public:
    LabelHeader(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Off: every label is measured afresh (to compare with in tests).
    void setMeasuringOnce(bool once);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    bool measuringOnce = true;
    mutable QHash<QString, QSize> byText;
    mutable QHash<int, QSize> byDigits;
    mutable QFont measuredFont;
    mutable const QStyle *measuredStyle = nullptr;
    mutable bool measuredEnabled = true;
    mutable bool evenDigits = false;
};

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
