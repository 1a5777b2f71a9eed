#include "feed/amibrokerlivedata2.h"

const std::array<amibrokerlivedata2::FeedBox, 7> amibrokerlivedata2::FeedBoxes = {{
    {"cashBox", "CASH", "CASH"},
    {"futureBox", "FUTURE", "FUTURE"},
    {"optionBox", "OPTION", "OPTION"},
    {"commBox", "COMM", "MCX"},
    {"currBox", "CURR", "CURRENCY"},
    {"spotBox", "SPOT", "SPOTINDEX"},
    {"agricommBox", "AgriComm", "NCDEX"},
}};

void amibrokerlivedata2::on_cashBox_toggled(bool checked) { feedBoxToggled(0, checked); }
void amibrokerlivedata2::on_futureBox_toggled(bool checked) { feedBoxToggled(1, checked); }
void amibrokerlivedata2::on_optionBox_toggled(bool checked) { feedBoxToggled(2, checked); }
void amibrokerlivedata2::on_commBox_toggled(bool checked) { feedBoxToggled(3, checked); }
void amibrokerlivedata2::on_currBox_toggled(bool checked) { feedBoxToggled(4, checked); }
void amibrokerlivedata2::on_spotBox_toggled(bool checked) { feedBoxToggled(5, checked); }
void amibrokerlivedata2::on_agricommBox_toggled(bool checked) { feedBoxToggled(6, checked); }
void amibrokerlivedata2::feedBoxToggled(int, bool) {}
QStringList amibrokerlivedata2::catalogueQuery(const QString &) { return {}; }
void amibrokerlivedata2::catalogueLookup(const QString &) {}
QStringList amibrokerlivedata2::enabledExchanges() const { return {}; }
