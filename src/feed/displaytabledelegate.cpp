#include "feed/displaytabledelegate.h"

#include "symbols/displaycolumns.h"
#include "symbols/displaytablemodel.h"

#include <QApplication>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTextLayout>

#include <memory>

using namespace DisplayColumns;

namespace {

constexpr int DeleteButtonWidth = 30;
// Kept text places; more only when the columns are resized over and over.
constexpr std::size_t MostTextPlaces = 64;
constexpr std::size_t MostFigureFonts = 8;
// Kept laid-out texts: the symbols in sight many times over.
constexpr int MostLaidOutTexts = 512;
// What prices, quantities and volumes are written with.
const QString FigureCharacters = QStringLiteral("0123456789.,-");

// One line of text laid out as the cells lay theirs out, unbounded.
void layOutLine(QTextLayout &layout)
{
    layout.setCacheEnabled(true);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
}

// A push button's own notion of its look (default-button frame, raised or sunken), for drawing.
class PrototypeButton final : public QPushButton
{
public:
    using QPushButton::QPushButton;
    using QPushButton::initStyleOption;
};

const QBrush &shadeBrush(DisplayTableModel::Shade shade)
{
    static const QBrush rising(QColor(173, 216, 230));
    static const QBrush falling(QColor(255, 192, 203));
    static const QBrush steady(Qt::white);
    static const QBrush none;
    switch (shade) {
    case DisplayTableModel::Shade::Rising:
        return rising;
    case DisplayTableModel::Shade::Falling:
        return falling;
    case DisplayTableModel::Shade::Steady:
        return steady;
    case DisplayTableModel::Shade::None:
        break;
    }
    return none;
}

}

DisplayTableDelegate::DisplayTableDelegate(QTableView *view)
    : QStyledItemDelegate(view)
    , m_view(view)
    , m_viewport(view->viewport())
    , m_prototype(new PrototypeButton(view->viewport()))
{
    // Where the button widgets used to live, so the style sheet reaches it the same way.
    m_prototype->hide();
    m_view->setShowGrid(false);
    m_viewport->installEventFilter(this);
    m_view->installEventFilter(this);
    m_prototype->installEventFilter(this);
}

bool DisplayTableDelegate::isButton(const QModelIndex &index)
{
    return index.isValid() && (index.column() == BackfillColumn || index.column() == DeleteColumn);
}

void DisplayTableDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const auto shade = DisplayTableModel::Shade(index.data(DisplayTableModel::ShadeRole).toInt());
    if (shade != DisplayTableModel::Shade::None)
        option->backgroundBrush = shadeBrush(shade);
    // A symbol in trouble: its prices are the last ones the vendor sent, not live ones.
    if (index.data(DisplayTableModel::MutedRole).toBool()) {
        option->font.setItalic(true);
        option->palette.setColor(QPalette::Text, Qt::gray);
    }
}

// The rectangle a widget placed in the cell would get, as the view lays out cell widgets; the X
// button keeps its fixed width. Laying the text out to find it is dear, so it is kept per cell size.
QRect DisplayTableDelegate::buttonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isButton(index))
        return {};
    const QString key = QString::number(index.column()) + QLatin1Char('/') + QString::number(option.rect.width())
        + QLatin1Char('x') + QString::number(option.rect.height());
    auto known = m_buttonRects.constFind(key);
    if (known == m_buttonRects.cend()) {
        QStyleOptionViewItem cell = option;
        cell.rect = QRect(QPoint(0, 0), option.rect.size()).adjusted(0, 0, -1, -1); // the grid's edge
        initStyleOption(&cell, index);
        cell.showDecorationSelected = true;
        QRect rect = m_view->style()->subElementRect(QStyle::SE_ItemViewItemText, &cell, m_view);
        if (index.column() == DeleteColumn)
            rect.setWidth(DeleteButtonWidth);
        known = m_buttonRects.insert(key, rect);
    }
    return known->translated(option.rect.topLeft());
}

QRect DisplayTableDelegate::buttonRect(const QModelIndex &index) const
{
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.rect = m_view->visualRect(index);
    return buttonRect(option, index);
}

void DisplayTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The grid first: the X button, wider than its cell, lies on top of it as its widget did.
    const QColor grid = QColor::fromRgba(QRgb(m_view->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_view)));
    painter->fillRect(QRect(option.rect.left(), option.rect.bottom(), option.rect.width(), 1), grid);
    painter->fillRect(QRect(option.rect.right(), option.rect.top(), 1, option.rect.height() - 1), grid);

    if (isButton(index)) {
        paintButton(painter, option, index, grid);
        return;
    }
    // The cell as it was with the view's grid on: one pixel narrower and lower.
    QStyleOptionViewItem cell = option;
    cell.rect.adjust(0, 0, -1, -1);
    initStyleOption(&cell, index);
    if (paintPlainCell(painter, cell))
        return;
    const QWidget *widget = cell.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
}

const DisplayTableDelegate::TextPlace &DisplayTableDelegate::textPlace(const QStyle *style,
                                                                       const QStyleOptionViewItem &cell) const
{
    const TextPlace wanted{cell.rect.size(), int(cell.displayAlignment), int(cell.direction), int(cell.features),
                           int(cell.state), int(cell.viewItemPosition), QRect(), 0};
    for (const TextPlace &place : m_textPlaces) {
        if (place.size == wanted.size && place.alignment == wanted.alignment && place.direction == wanted.direction
            && place.features == wanted.features && place.state == wanted.state && place.position == wanted.position)
            return place;
    }
    if (m_textPlaces.size() >= MostTextPlaces)
        m_textPlaces.clear();
    QStyleOptionViewItem origin = cell;
    origin.rect.moveTo(0, 0);
    TextPlace place = wanted;
    place.rect = style->subElementRect(QStyle::SE_ItemViewItemText, &origin, cell.widget);
    place.margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, cell.widget) + 1;
    m_textPlaces.push_back(place);
    return m_textPlaces.back();
}

const DisplayTableDelegate::FigureFont &DisplayTableDelegate::figureFont(const QFont &font) const
{
    // Equal fonts are sized apart by the screen they were made for: the engine tells them apart.
    const QRawFont engine = QRawFont::fromFont(font);
    for (const FigureFont &known : m_figureFonts) {
        if (known.engine == engine && known.font == font)
            return known;
    }
    if (m_figureFonts.size() >= MostFigureFonts)
        m_figureFonts.clear();
    FigureFont figures;
    figures.font = font;
    figures.engine = engine;
    const auto usable = [&figures, &font]() -> bool {
        if (font.underline() || font.overline() || font.strikeOut())
            return false;
        QRawFont raw;
        for (const QChar c : FigureCharacters) {
            QTextLayout alone(QString(c), font);
            layOutLine(alone);
            const QList<QGlyphRun> runs = alone.glyphRuns();
            if (runs.size() != 1 || runs.first().glyphIndexes().size() != 1
                || (raw.isValid() && runs.first().rawFont() != raw))
                return false;
            raw = runs.first().rawFont();
            figures.known[c.unicode()] = true;
            figures.glyph[c.unicode()] = runs.first().glyphIndexes().first();
            figures.advance[c.unicode()] = qRound(alone.lineAt(0).naturalTextWidth() * 64);
        }
        // Every pair side by side: each glyph where the advances before it add up to.
        QString pairs;
        for (const QChar first : FigureCharacters) {
            for (const QChar second : FigureCharacters)
                pairs.append(first).append(second);
        }
        QTextLayout layout(pairs, font);
        layOutLine(layout);
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (runs.size() != 1 || runs.first().rawFont() != raw)
            return false;
        const QVector<quint32> glyphs = runs.first().glyphIndexes();
        const QVector<QPointF> positions = runs.first().positions();
        if (glyphs.size() != pairs.size())
            return false;
        int x = 0;
        for (int i = 0; i < pairs.size(); ++i) {
            const ushort c = pairs.at(i).unicode();
            if (glyphs.at(i) != figures.glyph[c] || positions.at(i) != QPointF(x / 64.0, positions.first().y()))
                return false;
            x += figures.advance[c];
        }
        const QTextLine line = layout.lineAt(0);
        figures.baseline = positions.first().y();
        figures.lineHeight = line.height();
        figures.boxHeight = layout.boundingRect().size().toSize().height();
        figures.raw = raw;
        return true;
    };
    if (!usable())
        figures.raw = QRawFont();
    m_figureFonts.push_back(figures);
    return m_figureFonts.back();
}

bool DisplayTableDelegate::placesFigures(const QFont &font) const
{
    return figureFont(font).raw.isValid();
}

// A figure that fits its cell, as glyphs where the layout would put them, drawn from at; false for
// any other text.
bool DisplayTableDelegate::placeFigure(const QStyleOptionViewItem &cell, const QRect &textRect, QGlyphRun &run,
                                       QPointF &at) const
{
    const Qt::Alignment horizontal = QStyle::visualAlignment(cell.direction, cell.displayAlignment)
        & Qt::AlignHorizontal_Mask;
    if (cell.direction != Qt::LeftToRight || cell.text.isEmpty() || (horizontal & Qt::AlignJustify)
        || !FigureCharacters.contains(cell.text.front()))
        return false;
    const FigureFont &figures = figureFont(cell.font);
    if (!figures.raw.isValid())
        return false;
    const int length = int(cell.text.size());
    QVector<quint32> glyphs(length);
    QVector<QPointF> positions(length);
    int width = 0;
    for (int i = 0; i < length; ++i) {
        const ushort c = cell.text.at(i).unicode();
        if (c >= figures.known.size() || !figures.known[c])
            return false;
        glyphs[i] = figures.glyph[c];
        positions[i] = QPointF(width / 64.0, 0);
        width += figures.advance[c];
    }
    // One that does not fit is elided, by the layout.
    const int room = textRect.width() * 64;
    if (width > room)
        return false;
    const int top = QStyle::alignedRect(Qt::LayoutDirectionAuto, cell.displayAlignment,
                                        QSize(textRect.width(), figures.boxHeight), textRect)
                        .top();
    if (figures.lineHeight + top <= textRect.top())
        return false;
    const int indent = horizontal & Qt::AlignRight ? room - width : horizontal & Qt::AlignHCenter ? (room - width) / 2 : 0;

    run.setRawFont(figures.raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    at = QPointF(textRect.x() + indent / 64.0, top + figures.baseline);
    return true;
}

// A text laid out as the style lays out a text of one line, in a place of the given size; kept,
// so that a cell whose text stays (a symbol, a quantity) is not laid out at every repaint.
const DisplayTableDelegate::LaidOutText &DisplayTableDelegate::laidOut(const QStyleOptionViewItem &cell, QSize room,
                                                                       const QTextOption &option) const
{
    const QRawFont engine = QRawFont::fromFont(cell.font);
    const auto known = m_laidOut.constFind(cell.text);
    if (known != m_laidOut.cend() && known->room == room && known->alignment == int(cell.displayAlignment)
        && known->direction == int(cell.direction) && known->wrap == int(option.wrapMode())
        && known->elideMode == int(cell.textElideMode) && known->engine == engine && known->font == cell.font)
        return *known;
    if (m_laidOut.size() >= MostLaidOutTexts)
        m_laidOut.clear();
    LaidOutText laid{cell.font, engine, room, int(cell.displayAlignment), int(cell.direction), int(option.wrapMode()),
                     int(cell.textElideMode), 0, nullptr};
    // False where the text takes more than one line: the style elides and places those its own way.
    const auto layOut = [&option, room](QTextLayout &layout) {
        layout.setTextOption(option);
        // The glyphs found for the line are kept for drawing it, not found again.
        layout.setCacheEnabled(true);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(room.width());
        line.setPosition(QPointF(0, 0));
        const bool oneLine = !layout.createLine().isValid();
        layout.endLayout();
        return oneLine;
    };
    const auto lay = [&]() -> std::shared_ptr<QTextLayout> {
        auto layout = std::make_shared<QTextLayout>(cell.text, cell.font);
        if (!layOut(*layout))
            return nullptr;
        const QTextLine line = layout->lineAt(0);
        laid.top = QStyle::alignedRect(Qt::LayoutDirectionAuto, cell.displayAlignment,
                                       layout->boundingRect().size().toSize(), QRect(QPoint(0, 0), room))
                       .top();
        // A cell too low to show the line, or a text with alternatives for eliding: the style's.
        if (line.height() + laid.top <= 0)
            return nullptr;
        if (line.naturalTextWidth() <= room.width())
            return layout;
        if (cell.text.contains(QChar(0x9c)))
            return nullptr;
        auto elided = std::make_shared<QTextLayout>(
            QFontMetrics(cell.font).elidedText(cell.text, cell.textElideMode, room.width()), cell.font);
        return layOut(*elided) ? elided : nullptr;
    };
    laid.shown = lay();
    return *m_laidOut.insert(cell.text, laid);
}

// The style's item drawing, less its cost: it lays the text out five times to find where it goes
// and whether it must be elided. Here the place is kept and the text laid out once, as the style
// lays out a text of one line, and drawn the same way; the background is the style's own.
bool DisplayTableDelegate::paintPlainCell(QPainter *painter, const QStyleOptionViewItem &cell) const
{
    // Check marks, icons, the focus frame and an editor are drawn by the style; with the
    // decoration shown unselected the text's place depends on the text.
    if ((cell.features & (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration))
        || (cell.state & (QStyle::State_HasFocus | QStyle::State_Editing)) || !cell.showDecorationSelected)
        return false;
    QPalette::ColorGroup group = cell.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(cell.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const bool selected = cell.state & QStyle::State_Selected;
    const QColor pen = cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    // A style sheet writes the text in the colour of the palette's current group.
    if (!selected && pen != cell.palette.color(QPalette::Text))
        return false;

    const QWidget *widget = cell.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const TextPlace &place = textPlace(style, cell);
    const QRect textRect = place.rect.translated(cell.rect.topLeft()).adjusted(place.margin, 0, -place.margin, 0);
    QTextOption textOption;
    textOption.setWrapMode(cell.features & QStyleOptionViewItem::WrapText ? QTextOption::WordWrap
                                                                          : QTextOption::ManualWrap);
    textOption.setTextDirection(cell.direction);
    textOption.setAlignment(QStyle::visualAlignment(cell.direction, cell.displayAlignment));
    QGlyphRun figure;
    QPointF at;
    const bool isFigure = placeFigure(cell, textRect, figure, at);
    const QTextLayout *shown = nullptr;
    if (!isFigure && !cell.text.isEmpty()) {
        const LaidOutText &laid = laidOut(cell, textRect.size(), textOption);
        if (!laid.shown)
            return false;
        shown = laid.shown.get();
        at = QPointF(textRect.x(), textRect.top() + laid.top);
    }

    painter->save();
    painter->setClipRect(cell.rect);
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);
    painter->setPen(pen);
    if (isFigure)
        painter->drawGlyphRun(at, figure);
    else if (shown)
        shown->draw(painter, at);
    painter->restore();
    return true;
}

void DisplayTableDelegate::paintButton(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                                       const QColor &grid) const
{
    m_prototype->ensurePolished();
    QStyleOptionButton button;
    static_cast<PrototypeButton *>(m_prototype)->initStyleOption(&button);
    const QRect rect = buttonRect(option, index);
    button.rect = QRect(QPoint(0, 0), rect.size());
    button.text = index.data().toString();
    if (m_pressedInside && m_pressed == index) {
        button.state |= QStyle::State_Sunken;
        button.state &= ~QStyle::State_Raised;
    }
    // The part of the grid line the button lies on, in the button's own coordinates.
    const int gridColumn = option.rect.right() - rect.left();
    const bool onGrid = gridColumn < rect.width();
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = button.text + QLatin1Char('/') + QString::number(rect.width()) + QLatin1Char('x')
        + QString::number(rect.height()) + QLatin1Char('/') + QString::number(int(button.state)) + QLatin1Char('/')
        + QString::number(ratio) + QLatin1Char('/') + (onGrid ? QString::number(gridColumn) : QString());
    auto cached = m_buttons.constFind(key);
    if (cached == m_buttons.cend()) {
        // Drawn on what lay under the button widget: the table's background and maybe the grid, in
        // the format of the window's backing store, so edges and text blend the same way.
        QImage look(rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        look.setDevicePixelRatio(ratio);
        const QWidget *viewport = m_viewport;
        // Point sizes turn into the pixels they take on the table's screen.
        look.setDotsPerMeterX(qRound(viewport->logicalDpiX() / 0.0254));
        look.setDotsPerMeterY(qRound(viewport->logicalDpiY() / 0.0254));
        look.fill(viewport->palette().color(viewport->backgroundRole()));
        QPainter lookPainter(&look);
        if (onGrid)
            lookPainter.fillRect(QRect(gridColumn, 0, 1, rect.height()), grid);
        lookPainter.setFont(m_prototype->font());
        m_prototype->style()->drawControl(QStyle::CE_PushButton, &button, &lookPainter, m_prototype);
        lookPainter.end();
        cached = m_buttons.insert(key, look);
    }
    painter->drawImage(rect.topLeft(), *cached);
}

bool DisplayTableDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                       const QModelIndex &index)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // The second press of a double click comes with it: pressing again changes nothing.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!isButton(index) || mouse->button() != Qt::LeftButton)
            break;
        if (!buttonRect(option, index).contains(mouse->pos()))
            break;
        setPressed(index);
        m_pressedInside = true;
        return true;
    }
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (isButton(index) && (key->key() == Qt::Key_Space || key->key() == Qt::Key_Select)
            && key->modifiers() == Qt::NoModifier) {
            click(index);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

// A pressed button holds the mouse, as a widget would: moves only sink or raise it, and the
// release, wherever it happens, ends the press and clicks if it is on the button. The view would
// not pass the release of a double click on. Only the watched widgets' addresses are compared: they
// also report while the view is being destroyed.
bool DisplayTableDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_viewport && watched != m_view && watched != m_prototype)
        return QStyledItemDelegate::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
        // The kept looks and places are of the old style.
        m_buttons.clear();
        m_buttonRects.clear();
        m_textPlaces.clear();
        return false;
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        if (watched == m_viewport && m_pressed.isValid())
            return pressedMouse(static_cast<QMouseEvent *>(event));
        return false;
    default:
        return false;
    }
}

bool DisplayTableDelegate::pressedMouse(const QMouseEvent *mouse)
{
    if (mouse->type() == QEvent::MouseMove) {
        const bool inside = buttonRect(m_pressed).contains(mouse->pos());
        if (inside != m_pressedInside) {
            m_pressedInside = inside;
            m_viewport->update(m_view->visualRect(m_pressed));
        }
        return true;
    }
    if (mouse->button() != Qt::LeftButton)
        return true;
    const QModelIndex pressed = m_pressed;
    const bool clicked = buttonRect(pressed).contains(mouse->pos());
    setPressed({});
    if (clicked)
        click(pressed);
    return true;
}

void DisplayTableDelegate::setPressed(const QModelIndex &index)
{
    if (m_pressed.isValid())
        m_viewport->update(m_view->visualRect(m_pressed));
    m_pressed = index;
    m_pressedInside = index.isValid();
    if (m_pressed.isValid())
        m_viewport->update(m_view->visualRect(m_pressed));
}

void DisplayTableDelegate::click(const QModelIndex &index)
{
    // The row may go with the click (X): the signal comes last.
    if (index.column() == BackfillColumn)
        emit backfillClicked(index);
    else if (index.column() == DeleteColumn)
        emit deleteClicked(index);
}
