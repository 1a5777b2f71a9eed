#pragma once

#include "symbols/replypass.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QByteArray>
#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Selection;

// The display table of live prices: one row per selected symbol with its last traded price and
// quantity and the direction of their last change. Rows and their cells are kept between ticks;
// each tick applies what the feed's reply pass read, and the changed rows are announced with one
// dataChanged() per tick. The Backfill and X cells carry their captions; a view draws them as
// buttons.
class DisplayTableModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayTableModel)

public:
    // How a price or quantity cell is coloured; the view picks the colours.
    enum class Shade { None, Rising, Falling, Steady };
    Q_ENUM(Shade)

    enum Role {
        ShadeRole = Qt::UserRole + 1, // Shade, as int
        ExchangeRole,                 // the row's exchange
        // What named the row's button: the symbol for Backfill, symbol + "1," + exchange for X.
        ButtonNameRole,
        MutedRole,                    // bool: the symbol cell of a row in trouble
    };

    static constexpr int SteadyUpdatesBeforeWhite = 30;
    // A row whose symbol had no quote line for this long while the feed is live looks muted.
    static constexpr qint64 QuietSymbolMs = 60000;
    // Steady milliseconds; tests replace it.
    using Clock = std::function<qint64()>;

    explicit DisplayTableModel(const Selection &selection, QObject *parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Rows follow the selection again: existing rows are overwritten, surplus ones dropped, and
    // every price and quantity reads "0" without a colour. The first one adds the columns.
    void rebuild();
    // The selection lost this row; the others keep their cells.
    void dropRow(int row);
    // The prices and quantities the pass last read; rows whose symbol the reply lacked keep theirs.
    void apply(const LiveReplyPass &pass);
    // Once a second: rows whose symbol has gone quiet, or come back, change their look. A symbol
    // counts as quiet only while the feed as a whole is live.
    void markQuietSymbols(bool feedLive);
    void setClock(Clock clock);

    // Shared by all rows of a column; they whiten the cell whose unchanged update makes thirty.
    [[nodiscard]] int steadyCounterLtp() const { return m_steadyLtp; }
    [[nodiscard]] int steadyCounterLtq() const { return m_steadyLtq; }

private:
    // Removes the rows from count on, announced as a removal.
    void dropRowsFrom(int count);
    struct Cell
    {
        std::string text; // as received, mostly held in place; decoded only when shown
        float value = 0;  // of text, so the previous value is not read again
        Shade shade = Shade::None;
    };
    // What the replies said of a row's symbol lately.
    struct Trouble
    {
        qint64 lastQuoteMs = 0;  // or when the row came, before its first quote
        QByteArray failReason;   // the vendor's, from its last line for the symbol
    };
    struct Row
    {
        QString symbol;
        QString exchange;
        Cell price;
        Cell quantity;
        Trouble trouble;
        int slot = -1;    // the symbol's slot in the reply pass's index
        bool muted = false;
    };

    // Rows for a selection that changed without a rebuild (restored or pruned at start-up): they
    // take its symbols in place, as many as it has, and new rows start empty.
    void followSelection();
    [[nodiscard]] QHash<QString, Trouble> troubleBySymbol() const;
    void takeTrouble(const QHash<QString, Trouble> &known);
    void countMutedRows();
    void mapSlots(const LiveReplyPass &pass);
    static bool show(Cell &cell, std::string_view text, int &steadyCounter);

    const Selection &m_selection;
    std::vector<Row> m_rows;
    // The pass's index the rows' slots were taken from; 0: not yet.
    quint64 m_slotsRevision = 0;
    Clock m_clock;
    qint64 m_now = 0;                 // at the last reply or look
    bool m_feedLive = false;
    int m_mutedRows = 0;
    // Known from the last tick's walk: no row failing, and every row quoted since this time. Until
    // a symbol may have gone quiet, the once-a-second look finds nothing to turn and is spared.
    bool m_troubleFree = false;
    qint64 m_oldestQuoteMs = 0;
    std::vector<int> m_turning;       // rows whose muted look turns, in order; kept for its room
    // Turns the look of the rows in m_turning, announced as one change of their symbol cells.
    void turnMutedRows();
    [[nodiscard]] bool mutedNow(const Row &row) const;
    quint64 m_revision = 0;           // of the selection the rows show
    bool m_built = false;
    int m_steadyLtp = 0;
    int m_steadyLtq = 0;
};
