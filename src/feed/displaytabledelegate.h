#pragma once

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPersistentModelIndex>
#include <QRawFont>
#include <QRect>
#include <QStyledItemDelegate>

#include <array>
#include <memory>
#include <vector>

class QGlyphRun;
class QMouseEvent;
class QPushButton;
class QTableView;
class QTextLayout;
class QTextOption;

// Paints the display table: the price and quantity cells in the colour of their last change, and
// the Backfill and X cells as push buttons that click as the buttons themselves would (press and
// release on the button, Space on the current cell). No widget per row: one hidden button lends
// the drawn ones its look, the view's style sheet included, and each look is drawn once and kept.
// The view's own grid is off: its lines are drawn a pixel at a time, so each cell fills its own
// right and bottom edge in the grid's colour instead, where the view would have drawn them.
// Plain text cells are drawn as the style draws them, with their text laid out once instead of
// over and over, and their text's place kept per cell size. A figure is not laid out at all where
// its font allows: its glyphs are placed side by side, as the layout would place them.
class DisplayTableDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayTableDelegate)

public:
    explicit DisplayTableDelegate(QTableView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Public, so that what a cell is painted with can be checked.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
    // Where the button of a button cell lies within the viewport; empty for other cells.
    [[nodiscard]] QRect buttonRect(const QModelIndex &index) const;
    // Draws a plain text cell, its style option initialised, to the pixels the style's own item
    // drawing gives; false, with nothing drawn, for a cell it leaves to the style. Public, so
    // that the two can be compared.
    bool paintPlainCell(QPainter *painter, const QStyleOptionViewItem &cell) const;
    // Whether figures in this font are drawn from their glyphs without a layout.
    [[nodiscard]] bool placesFigures(const QFont &font) const;

signals:
    void backfillClicked(const QModelIndex &index);
    void deleteClicked(const QModelIndex &index);

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    [[nodiscard]] static bool isButton(const QModelIndex &index);
    [[nodiscard]] QRect buttonRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    bool pressedMouse(const QMouseEvent *mouse);
    void setPressed(const QModelIndex &index);
    void click(const QModelIndex &index);
    void paintButton(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index,
                     const QColor &grid) const;

    // Where the style puts a cell's text, relative to the cell, and the margin it leaves inside.
    struct TextPlace
    {
        QSize size;
        int alignment;
        int direction;
        int features;
        int state;
        int position;
        QRect rect;
        int margin;
    };
    [[nodiscard]] const TextPlace &textPlace(const QStyle *style, const QStyleOptionViewItem &cell) const;

    // A font's digits and the marks around them, where the layout gives each one glyph and puts
    // them side by side with no kerning (checked once per font); the raw font is empty otherwise.
    // Lengths in 64ths of a pixel, the layout's own unit, so that sums come out as its do.
    struct FigureFont
    {
        QFont font;
        QRawFont engine;
        QRawFont raw;
        std::array<bool, 128> known{};
        std::array<quint32, 128> glyph{};
        std::array<int, 128> advance{};
        qreal baseline = 0;
        qreal lineHeight = 0;
        int boxHeight = 0;
    };
    [[nodiscard]] const FigureFont &figureFont(const QFont &font) const;

    // A cell's text laid out in a place of a size, with where its line's top lies in that place;
    // no layout where the style must draw the text itself.
    struct LaidOutText
    {
        QFont font;
        QRawFont engine;
        QSize room;
        int alignment;
        int direction;
        int wrap;
        int elideMode;
        int top;
        std::shared_ptr<QTextLayout> shown;
    };
    [[nodiscard]] const LaidOutText &laidOut(const QStyleOptionViewItem &cell, QSize room,
                                             const QTextOption &option) const;
    bool placeFigure(const QStyleOptionViewItem &cell, const QRect &textRect, QGlyphRun &run, QPointF &at) const;

    QTableView *m_view;
    QWidget *m_viewport;
    QPushButton *m_prototype;
    // Button looks by caption, size and state.
    mutable QHash<QString, QImage> m_buttons;
    // Button places by column and cell size, relative to the cell.
    mutable QHash<QString, QRect> m_buttonRects;
    mutable std::vector<TextPlace> m_textPlaces;
    mutable std::vector<FigureFont> m_figureFonts;
    mutable QHash<QString, LaidOutText> m_laidOut;
    QPersistentModelIndex m_pressed;
    bool m_pressedInside = false;
};
