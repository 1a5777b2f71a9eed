#pragma once

// The columns of the display table of live prices.
namespace DisplayColumns {

enum Column { SymbolColumn, PriceColumn, QuantityColumn, BackfillColumn, DeleteColumn, ColumnCount };

}
