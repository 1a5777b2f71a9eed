#pragma once

#include <QTableView>

// The display table's view. Qt's own view repaints every cell in sight for a changed range of
// cells; with one range of prices per tick that is every Backfill and X button and every symbol,
// tick after tick. This one repaints only the changed cells in sight, and those alone: its
// viewport fills itself with the style sheet's plain colour, so the window and the frame beneath
// it are not repainted first.
class DisplayTableView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayTableView)

public:
    explicit DisplayTableView(QWidget *parent = nullptr);

protected:
    bool viewportEvent(QEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>()) override;
};
