#pragma once

// A main window on a seeded SQLite vendor database, for the symbol tests. One per test function;
// the install folder and the settings store (TestEnvironment) live for the whole executable,
// because QSettings fixes its folder at its first use.

#include "app/settingsstore.h"
#include "support/mainform.h"
#include "feed/amibrokerlivedata2.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "symbols/selection.h"
#include "vendor/account.h"
#include "vendor/vendorconnection.h"
#include "support/storedsettings.h"
#include "support/testenvironment.h"
#include "vendorsim.h"

#include <QtTest>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <memory>

class SymbolsWorld
{
public:
    // Sets QUORVIX_DB before TestEnvironment reloads the configuration.
    SymbolsWorld()
    {
        m_databaseFile = m_databaseDir.path() + QStringLiteral("/vendor.db");
        qputenv("QUORVIX_DB", (QStringLiteral("sqlite:") + m_databaseFile).toUtf8());
        environment = std::make_unique<TestEnvironment>();
    }

    // Fresh tables, an empty store and a new window.
    void openWindow()
    {
        closeWindow();
        QString error;
        VendorSim::SeedOptions options;
        options.userId = QStringLiteral("TEST-USER-1");
        options.port = 1;
        QVERIFY2(VendorSim::seedDatabase(QStringLiteral("sqlite:") + m_databaseFile, options, &error),
                 qPrintable(error));
        StoredSettings().clear();
        environment->boxes.clear();

        window = std::make_unique<AssembledWindow>();
        // Closed loopback port: the live feed polls nothing that exists.
        Account account;
        account.dataPathGet = QStringLiteral("127.0.0.1:1/rt/live");
        account.dataPathPost = QStringLiteral("127.0.0.1:1/rt/livepost");
        account.secureKey = QStringLiteral("key");
        sessionOf(*window).takeAccount(account);
        ui = std::make_unique<MainForm>(*window);
    }

    void closeWindow()
    {
        ui.reset();
        window.reset();
    }

    // Statements on the vendor database through a connection of the test's own.
    void sql(const QString &statement, const QVariantList &values = {}) const
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_databaseFile);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.prepare(statement));
            for (const QVariant &value : values)
                query.addBindValue(value);
            QVERIFY2(query.exec(), qPrintable(statement));
        }
        QSqlDatabase::removeDatabase(name);
    }

    void addContract(const QString &symbol, const QString &exchange) const
    {
        sql(QStringLiteral("INSERT INTO Contract (Symbol, Exch) VALUES (?, ?)"), {symbol, exchange});
    }

    static void storeSelection(const QStringList &symbols, const QStringList &exchanges)
    {
        Store::Batch store;
        store.write(Store::SelectedSymbols, symbols);
        store.write(Store::SelectedExchanges, exchanges);
    }

    [[nodiscard]] QStringList listed() const
    {
        QStringList texts;
        for (int i = 0; i < ui->symbolsListWidget->count(); ++i)
            texts << ui->symbolsListWidget->item(i)->text();
        return texts;
    }

    [[nodiscard]] QStringList checked() const
    {
        QStringList texts;
        for (int i = 0; i < ui->symbolsListWidget->count(); ++i) {
            if (ui->symbolsListWidget->item(i)->checkState() == Qt::Checked)
                texts << ui->symbolsListWidget->item(i)->text();
        }
        return texts;
    }

    [[nodiscard]] QStringList symbols() const { return sessionOf(*window).selection().symbols(); }
    [[nodiscard]] QStringList exchanges() const { return sessionOf(*window).selection().exchanges(); }
    // Sets the selection without rebuilding anything, as a store restored at start would.
    void setSelection(const QStringList &symbols, const QStringList &exchanges) const
    {
        const QSignalBlocker quiet(const_cast<Selection *>(&sessionOf(*window).selection()));
        sessionOf(*window).assignSelection(symbols, exchanges);
    }

    // The live downloader, connected to the closed port: it never gets a reply, so a test can put
    // replies into its buffer.
    MyDownloader *quietLiveDownloader() const
    {
        MainForm(*window).connectButton->click();
        inside(sessionOf(*window)).liveDownloader()->pollTimer->stop();
        return inside(sessionOf(*window)).liveDownloader();
    }

    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<AssembledWindow> window;
    std::unique_ptr<MainForm> ui;

private:
    QTemporaryDir m_databaseDir;
    QString m_databaseFile;
};
