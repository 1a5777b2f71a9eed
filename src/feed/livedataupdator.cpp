#include "feed/livedataupdator.h"

#include "feed/amibroker.h"

#include <QFile>
#include <QSqlQuery>

liveDataUpdator::liveDataUpdator() = default;
liveDataUpdator::~liveDataUpdator() = default;

void liveDataUpdator::doEodBackfill() {}
void liveDataUpdator::updateDataAmi() {}
void liveDataUpdator::doBackFill() {}
void liveDataUpdator::run(int type) { runMode = type; }
void liveDataUpdator::run() {}
