#pragma once

// Draws the message table's plain text cells the way the widget style draws
// them, but keeps every cell text laid out (shaped) once, and remembers size
// hints per text; anything it does not know to reproduce exactly (selection,
// focus, icons, check boxes, fonts or colours of a cell's own, text that does
// not fit) is left to the style.

#include <QBrush>
#include <QFont>
#include <QHash>
#include <QString>
#include <QStyledItemDelegate>

#include <memory>
#include <unordered_map>

class QStyle;

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
