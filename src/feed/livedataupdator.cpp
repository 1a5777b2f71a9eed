#include "feed/livedataupdator.h"

#include "feed/amibroker.h"

#include <QFile>
#include <QSqlQuery>

liveDataUpdator::liveDataUpdator() = default;
liveDataUpdator::~liveDataUpdator() = default;

void liveDataUpdator::updateDataAmi() {}
