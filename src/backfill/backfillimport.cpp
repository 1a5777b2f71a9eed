#include "feed/livedataupdator.h"

void liveDataUpdator::doEodBackfill() {}
void liveDataUpdator::doBackFill() {}
void liveDataUpdator::run(int type) { runMode = type; }
void liveDataUpdator::run() {}
