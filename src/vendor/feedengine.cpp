#include "vendor/feedengine.h"

#include "app/config.h"
#include "app/seams.h"
#include "app/singleinstance.h"
#include "feed/feedsession.h"
#include "vendor/vendorconnection.h"
#include "vendor/vendordatabase.h"

#include <QDebug>

FeedEngine::FeedEngine() = default;

// Members go in reverse order: the session before the connection it asks.
FeedEngine::~FeedEngine() = default;

bool FeedEngine::assemble(const Platform::AutomationFactory &automation)
{
    SingleInstance::check(nullptr);

    connection = std::make_unique<VendorConnection>(Config::instance().database());
    // The database first: a start that ends here must not have started or taken AmiBroker.
    if (!connection->open()) {
        const QString error = connection->lastErrorText();
        Seams::information(nullptr, QStringLiteral("Unable to connect"), VendorDatabase::unableToConnectText());
        Seams::information(nullptr, QStringLiteral("Error Details"), error);
        qDebug().noquote() << error;
        Seams::exitProcess(0);
        return false;
    }
    session = std::make_unique<FeedSession>(automation, *connection);
    session->carryOverOutage();
    return true;
}
