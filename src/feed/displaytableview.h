#pragma once

#include <QTableView>

// The display table's view. Qt's own view repaints every cell in sight for a changed range of
// cells; with one range of prices per tick that is every Backfill and X button and every symbol,
// tick after tick. This one repaints only the changed cells in sight.
class DisplayTableView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayTableView)

public:
    explicit DisplayTableView(QWidget *parent = nullptr);

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QVector<int> &roles = QVector<int>()) override;
};
