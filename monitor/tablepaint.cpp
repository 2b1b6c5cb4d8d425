#include "monitor/tablepaint.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGlyphRun>
#include <QHeaderView>
#include <QTableWidget>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>
#include <QVarLengthArray>

// ---------------------------------------------------------------------------
// CellDelegate

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

// ---------------------------------------------------------------------------
// ContentFit

namespace {

// Distinct texts kept before the hints are computed afresh.
constexpr int HINT_LIMIT = 8192;

} // namespace

void ContentFit::checkContext(const QTableWidget *table)
{
    if (table->font() == font && table->style() == style && hints.size() < HINT_LIMIT)
        return;
    hints.clear();
    labelHints.clear();
    emptyHint = QSize();
    font = table->font();
    style = table->style();
}

QSize ContentFit::cellHint(const QTableWidget *table, int row, int col, const QTableWidgetItem *item)
{
    // The view's hint for one cell, with the options it uses for the column
    // fit: no cell rectangle, hence no wrapping.
    if (!item) {
        if (!emptyHint.isValid())
            emptyHint = table->sizeHintForIndex(table->model()->index(row, col));
        return emptyHint;
    }
    const QString text = item->text();
    auto it = hints.constFind(text);
    if (it != hints.constEnd())
        return *it;
    const QSize hint = table->sizeHintForIndex(table->model()->index(row, col));
    hints.insert(text, hint);
    return hint;
}

int ContentFit::rowLabelHint(const QTableWidget *table, int row)
{
    // The header shows the row number unless the row has a header item; the
    // height of a number's label does not depend on its digits, only on the
    // font, so one per digit count is computed.
    if (table->verticalHeaderItem(row))
        return table->verticalHeader()->sectionSizeHint(row);
    int digits = 1;
    for (int n = row + 1; n >= 10; n /= 10)
        ++digits;
    auto it = labelHints.constFind(digits);
    if (it != labelHints.constEnd())
        return *it;
    const int hint = table->verticalHeader()->sectionSizeHint(row);
    labelHints.insert(digits, hint);
    return hint;
}

QVector<int> ContentFit::sampledRows(const QTableWidget *table)
{
    const QHeaderView *header = table->verticalHeader();
    const int maximum = header->resizeContentsPrecision();
    const int rows = table->rowCount();
    QVector<int> sample;
    int top = qMax(0, header->visualIndexAt(0));
    int bottom = header->visualIndexAt(table->viewport()->height());
    if (!table->isVisible() || bottom == -1)
        bottom = rows - 1;

    int processed = 0;
    int row = top;
    for (; row <= bottom; ++row) {
        const int logical = header->logicalIndex(row);
        if (header->isSectionHidden(logical))
            continue;
        sample.append(logical);
        if (++processed == maximum)
            break;
    }
    const int last = rows - 1;
    int above = top;
    int below = row - 1;
    if (maximum == 0)
        processed = 0;
    while (processed != maximum && (above > 0 || below < last)) {
        int logical = -1;
        if ((processed % 2 && above > 0) || below == last) {
            while (above > 0) {
                const int candidate = header->logicalIndex(--above);
                if (!header->isSectionHidden(candidate)) {
                    logical = candidate;
                    break;
                }
            }
        } else {
            while (below < last) {
                const int candidate = header->logicalIndex(++below);
                if (!header->isSectionHidden(candidate)) {
                    logical = candidate;
                    break;
                }
            }
        }
        if (logical < 0)
            continue;
        sample.append(logical);
        ++processed;
    }
    return sample;
}

void ContentFit::fit(QTableWidget *table)
{
    fitColumns(table);
    fitRows(table);
}

void ContentFit::fitColumns(QTableWidget *table)
{
    table->ensurePolished();
    checkContext(table);
    QHeaderView *header = table->horizontalHeader();
    const int grid = table->showGrid() ? 1 : 0;
    const QVector<int> rows = sampledRows(table);
    const int cols = table->columnCount();
    for (int col = 0; col < cols; ++col) {
        if (header->isSectionHidden(col))
            continue;
        int content = 0;
        for (int row : rows)
            content = qMax(content, cellHint(table, row, col, table->item(row, col)).width());
        const int width = qBound(header->minimumSectionSize(), qMax(content + grid, header->sectionSizeHint(col)),
                                 header->maximumSectionSize());
        header->resizeSection(col, width);
    }
}

void ContentFit::fitRows(QTableWidget *table)
{
    table->ensurePolished();
    checkContext(table);
    QHeaderView *header = table->verticalHeader();
    const QHeaderView *columns = table->horizontalHeader();
    const int grid = table->showGrid() ? 1 : 0;
    const int rows = table->rowCount();
    const int cols = table->columnCount();
    const bool wraps = table->wordWrap();
    // The width each column's texts wrap at (the cell less the grid line).
    QVarLengthArray<int, 16> wrapAt(cols);
    for (int col = 0; col < cols; ++col)
        wrapAt[col] = columns->isSectionHidden(col) ? -1 : table->columnWidth(col) - grid;

    QVector<int> heights(rows, -1);
    for (int row = 0; row < rows; ++row) {
        // Hidden rows keep the height they will show with again.
        if (header->isSectionHidden(row))
            continue;
        int content = 0;
        for (int col = 0; col < cols; ++col) {
            if (wrapAt[col] < 0)
                continue;
            const QSize hint = cellHint(table, row, col, table->item(row, col));
            if (wraps && hint.width() > wrapAt[col]) {
                // This text breaks into lines at its column's width.
                table->resizeRowsToContents();
                return;
            }
            content = qMax(content, hint.height());
        }
        heights[row] = qBound(header->minimumSectionSize(), qMax(content + grid, rowLabelHint(table, row)),
                              header->maximumSectionSize());
    }
    for (int row = 0; row < rows; ++row) {
        if (heights[row] >= 0)
            header->resizeSection(row, heights[row]);
    }
}

// ---------------------------------------------------------------------------
// LabelHeader

LabelHeader::LabelHeader(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    // As the table view sets up its own headers.
    setSectionsClickable(true);
    setHighlightSections(true);
}

void LabelHeader::setMeasuringOnce(bool once)
{
    measuringOnce = once;
    byText.clear();
    byDigits.clear();
}

QSize LabelHeader::sectionSizeFromContents(int logicalIndex) const
{
    const QAbstractItemModel *source = model();
    if (!measuringOnce || !source || isSortIndicatorShown())
        return QHeaderView::sectionSizeFromContents(logicalIndex);

    const QFont &current = font();
    if (current != measuredFont || style() != measuredStyle || isEnabled() != measuredEnabled
        || byText.size() > 4096) {
        byText.clear();
        byDigits.clear();
        measuredFont = current;
        measuredStyle = style();
        measuredEnabled = isEnabled();
        // The labels are drawn in bold. Digits of equal width (tabular
        // figures, as in nearly every font, fixed-pitch or not) are set
        // without kerning, so a number measures as any other of as many digits.
        QFont bold = current;
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        evenDigits = true;
        for (char digit = '1'; digit <= '9' && evenDigits; ++digit)
            evenDigits = metrics.horizontalAdvance(QLatin1Char(digit)) == metrics.horizontalAdvance(QLatin1Char('0'));
    }

    // A table widget's row without a header item of its own shows its number
    // and nothing else; any other label is looked at role by role.
    int number = -1;
    auto *table = qobject_cast<const QTableWidget *>(parentWidget());
    if (orientation() == Qt::Vertical && table && table->model() == source
        && !table->verticalHeaderItem(logicalIndex)) {
        number = logicalIndex + 1;
    } else {
        for (int role : {Qt::SizeHintRole, Qt::FontRole, Qt::DecorationRole}) {
            if (source->headerData(logicalIndex, orientation(), role).isValid())
                return QHeaderView::sectionSizeFromContents(logicalIndex);
        }
    }

    if (evenDigits && number >= 0) {
        int digits = 1;
        for (int n = number; n >= 10; n /= 10)
            ++digits;
        auto it = byDigits.constFind(digits);
        if (it != byDigits.constEnd())
            return *it;
        const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
        byDigits.insert(digits, size);
        return size;
    }
    const QString text = number >= 0 ? QString::number(number)
                                     : source->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    auto it = byText.constFind(text);
    if (it != byText.constEnd())
        return *it;
    const QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    byText.insert(text, size);
    return size;
}

// ---------------------------------------------------------------------------
// LogCell

QVariant LogCell::data(int role) const
{
    // A text set later (a role value of its own) wins over the one given.
    QVariant value = QTableWidgetItem::data(role);
    if (!value.isValid() && (role == Qt::DisplayRole || role == Qt::EditRole))
        return cellText;
    return value;
}

// ---------------------------------------------------------------------------
// PaintPacer

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
