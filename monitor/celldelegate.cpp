#include "monitor/celldelegate.h"

#include <QApplication>
#include <QGlyphRun>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>
#include <QWidget>

namespace {

// Entries per generation: the 256 byte texts and a few hundred identifiers
// stay; the rest are timestamps, each shown for a short while.
constexpr std::size_t GENERATION_SIZE = 2048;

// View features the fast path reproduces (the view sets word wrap by default).
constexpr QStyleOptionViewItem::ViewItemFeatures KNOWN_FEATURES = QStyleOptionViewItem::WrapText;

constexpr QStyle::State OWN_STATES = QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Editing;

int layoutFlags(Qt::Alignment alignment, Qt::LayoutDirection direction, bool wrap)
{
    return int(alignment) | (direction == Qt::RightToLeft ? 1 << 16 : 0) | (wrap ? 1 << 17 : 0);
}

} // namespace

// One text laid out as the style lays it out for drawing a cell.
struct CellDelegate::Layout {
    std::unique_ptr<QTextLayout> layout;
    // The laid-out glyphs with their positions from the layout's origin:
    // drawn as they are, they give what drawing the layout gives, without
    // walking the layout's lines and formats for every cell.
    QList<QGlyphRun> runs;
    int height = 0; // the layout's bounding height as the style rounds it
    bool fits = false; // one line, not wider than the line width: drawn unelided
};

template <typename Value>
Value *CellDelegate::Generations<Value>::find(const Key &key)
{
    auto it = young.find(key);
    if (it != young.end())
        return &it->second;
    auto was = old.find(key);
    if (was == old.end())
        return nullptr;
    Value value = std::move(was->second);
    old.erase(was);
    return &insert(key, std::move(value));
}

template <typename Value>
Value &CellDelegate::Generations<Value>::insert(Key key, Value value)
{
    if (young.size() >= GENERATION_SIZE) {
        old = std::move(young);
        young = {};
    }
    return young.insert_or_assign(std::move(key), std::move(value)).first->second;
}

CellDelegate::CellDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

CellDelegate::~CellDelegate() = default;

CellDelegate::Content CellDelegate::readPlain(const QModelIndex &index, PlainCell *cell)
{
    const QVariant display = index.data(Qt::DisplayRole);
    // Any of these makes the style lay the cell out or colour it differently.
    for (int role : {Qt::FontRole, Qt::ForegroundRole, Qt::DecorationRole, Qt::CheckStateRole, Qt::SizeHintRole}) {
        if (index.data(role).isValid())
            return Content::Other;
    }
    if (!display.isValid()) {
        const bool bare = !index.data(Qt::BackgroundRole).isValid() && !index.data(Qt::TextAlignmentRole).isValid();
        return bare ? Content::Empty : Content::Other;
    }
    if (display.userType() != QMetaType::QString)
        return Content::Other;
    cell->text = display.toString();
    if (cell->text.isEmpty())
        return Content::Other;
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    if (alignment.isValid() && !alignment.isNull()) {
        cell->alignment = Qt::Alignment(alignment.toInt());
        cell->ownAlignment = true;
    }
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.isValid()) {
        cell->background = qvariant_cast<QBrush>(background);
        if (cell->background.style() != Qt::NoBrush && cell->background.style() != Qt::SolidPattern)
            return Content::Other;
    }
    return Content::Plain;
}

bool CellDelegate::sameContext(const QStyleOptionViewItem &option, const QStyle *currentStyle) const
{
    return currentStyle == style && option.font == font;
}

void CellDelegate::resetContext(const QStyleOptionViewItem &option, const QStyle *currentStyle) const
{
    layouts.clear();
    sizes.clear();
    font = option.font;
    style = currentStyle;
    // The style insets a cell's text by the focus frame's margin plus one.
    textMargin = currentStyle->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
}

const CellDelegate::Layout *CellDelegate::layoutFor(const QString &text, const QStyleOptionViewItem &option,
                                                    Qt::Alignment alignment, int lineWidth) const
{
    const bool wrap = option.features & QStyleOptionViewItem::WrapText;
    const Qt::Alignment visual = QStyle::visualAlignment(option.direction, alignment);
    Key key{text, lineWidth, layoutFlags(visual, option.direction, wrap)};
    if (std::shared_ptr<Layout> *found = layouts.find(key))
        return found->get();

    // The style's own steps for the text of a cell: a text option with the
    // cell's wrap mode, direction and alignment, lines as wide as the text
    // rectangle stacked from the top.
    auto entry = std::make_shared<Layout>();
    entry->layout = std::make_unique<QTextLayout>(text, font);
    QTextOption textOption;
    textOption.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::ManualWrap);
    textOption.setTextDirection(option.direction);
    textOption.setAlignment(visual);
    entry->layout->setTextOption(textOption);
    entry->layout->setCacheEnabled(true);
    qreal height = 0;
    entry->layout->beginLayout();
    for (QTextLine line = entry->layout->createLine(); line.isValid(); line = entry->layout->createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    entry->layout->endLayout();
    entry->height = entry->layout->boundingRect().size().toSize().height();
    entry->runs = entry->layout->glyphRuns();
    entry->fits = entry->layout->lineCount() == 1 && entry->layout->lineAt(0).naturalTextWidth() <= lineWidth
        && !text.contains(QLatin1Char('\n'));
    return layouts.insert(std::move(key), std::move(entry)).get();
}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    PlainCell cell;
    const QWidget *widget = option.widget;
    const QStyle *currentStyle = widget ? widget->style() : QApplication::style();
    const Content content = (option.state & OWN_STATES) || (option.features & ~KNOWN_FEATURES) || !option.showDecorationSelected
        ? Content::Other
        : readPlain(index, &cell);
    if (content == Content::Empty)
        return; // nothing to draw: no text, no brush, no selection, no focus
    if (content == Content::Other) {
        ++byStyle;
        return QStyledItemDelegate::paint(painter, option, index);
    }
    if (!sameContext(option, currentStyle))
        resetContext(option, currentStyle);

    const Qt::Alignment alignment = cell.ownAlignment ? cell.alignment : option.displayAlignment;
    const QRect textRect = option.rect.adjusted(textMargin, 0, -textMargin, 0);
    const Layout *text = layoutFor(cell.text, option, alignment, textRect.width());
    // Where the style starts drawing: at the left of the text rectangle, as high
    // as the text's bounding box aligned in it.
    const int top = QStyle::alignedRect(Qt::LayoutDirectionAuto, alignment, QSize(textRect.width(), text->height),
                                        textRect)
                        .top();
    // Text the style would elide is left to the style.
    if (!text->fits) {
        ++byStyle;
        return QStyledItemDelegate::paint(painter, option, index);
    }
    ++fromLayouts;

    // Text higher than its row (rows keep their default height in scroll
    // mode) is clipped to the cell, as the style clips it.
    const bool clip = top < option.rect.top() || top + text->height > option.rect.bottom() + 1;
    if (clip) {
        painter->save();
        painter->setClipRect(option.rect);
    }
    if (cell.background.style() == Qt::SolidPattern)
        painter->fillRect(option.rect, cell.background);
    QPalette::ColorGroup group = (option.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPen pen = painter->pen();
    painter->setPen(option.palette.color(group, QPalette::Text));
    const QPointF origin(textRect.x(), top);
    for (const QGlyphRun &run : text->runs)
        painter->drawGlyphRun(origin, run);
    if (clip)
        painter->restore();
    else
        painter->setPen(pen);
}

QSize CellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    PlainCell cell;
    const QWidget *widget = option.widget;
    const QStyle *currentStyle = widget ? widget->style() : QApplication::style();
    if ((option.features & ~KNOWN_FEATURES) || readPlain(index, &cell) != Content::Plain)
        return QStyledItemDelegate::sizeHint(option, index);
    if (!sameContext(option, currentStyle))
        resetContext(option, currentStyle);

    // A plain cell's size depends on its text and, when it wraps, on the width
    // it wraps at; the style computes it once per text.
    const bool wrap = (option.features & QStyleOptionViewItem::WrapText) && option.rect.isValid();
    Key key{cell.text, wrap ? option.rect.width() : -1, layoutFlags(Qt::Alignment(), option.direction, wrap)};
    if (QSize *found = sizes.find(key))
        return *found;
    const QSize size = QStyledItemDelegate::sizeHint(option, index);
    sizes.insert(std::move(key), size);
    return size;
}
