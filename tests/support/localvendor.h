#pragma once

#include "vendorsim.h"

#include <QString>

// The local vendor for start-up tests: its HTTP services on loopback and a seeded SQLite vendor
// database in the install folder, with Config pointed at the database.
class LocalVendor
{
public:
    // Starts the services, then seeds the account with their address (options.port is filled in).
    bool start(const QString &root, VendorSim::SeedOptions options = {});
    // Seeds again (drops and recreates the tables); no connection may have a statement open.
    bool reseed(VendorSim::SeedOptions options);

    VendorSim::Server server;
    QString databaseSpec;
    QString error;
};
