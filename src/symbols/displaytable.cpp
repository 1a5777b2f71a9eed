#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::addDisplayTable() {}
void amibrokerlivedata2::updateDisplayTable() {}
void amibrokerlivedata2::closeButtonClicked(bool) {}
