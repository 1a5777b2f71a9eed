#include "feed/amibrokerlivedata2.h"

void amibrokerlivedata2::doAutoBackFill() {}
