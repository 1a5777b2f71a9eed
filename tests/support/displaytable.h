#pragma once

#include <QBrush>
#include <QString>

class QTableView;

// The main window's display table as the trader sees and uses it: cell texts from the model,
// cell colours as the view paints them, buttons clicked with the mouse where they are drawn.
namespace DisplayTable {

[[nodiscard]] QString text(const QTableView *table, int row, int column);
// The background the cell is painted with; no brush when it has no colour of its own.
[[nodiscard]] QBrush background(const QTableView *table, int row, int column);
// A left click in the middle of the button drawn in the cell (columns 3 and 4).
void clickButton(QTableView *table, int row, int column);

}
