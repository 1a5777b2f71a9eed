#include "localvendor.h"

#include "app/config.h"

bool LocalVendor::start(const QString &root, VendorSim::SeedOptions options)
{
    if (!server.start()) {
        error = QStringLiteral("vendor services did not start");
        return false;
    }
    databaseSpec = QStringLiteral("sqlite:") + root + QStringLiteral("/vendor.db");
    qputenv("QUORVIX_DB", databaseSpec.toUtf8());
    Config::reload();
    return reseed(std::move(options));
}

bool LocalVendor::reseed(VendorSim::SeedOptions options)
{
    options.port = server.port();
    server.setAccount(options.userId, options.secureKey);
    return VendorSim::seedDatabase(databaseSpec, options, &error);
}
