#include "feed/amibrokerlivedata2.h"

#include "app/seams.h"
#include "feed/livedataupdator.h"
#include "symbols/watchlist.h"

#include <QDir>
#include <QFile>

namespace {
const QString Filter = QStringLiteral("Quorvix List(*.qvxList)");
}

void amibrokerlivedata2::on_save_list_clicked()
{
    const QString fileName = Seams::saveFileName(this, QStringLiteral("Save Wishlist To"), Filter);
    if (fileName.isEmpty())
        return;

    const QByteArray content = WatchList::format(worker->symbols, worker->exchanges);
    QFile file(fileName);
    bool saved = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (saved) {
        saved = file.write(content) == content.size();
        saved = file.flush() && saved;
        file.close();
        saved = saved && file.error() == QFileDevice::NoError;
    }
    if (!saved) {
        Seams::information(this, QStringLiteral("Save Failed"),
                           QStringLiteral("The watch list could not be saved to:\n%1\n\n%2")
                               .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    }
}

void amibrokerlivedata2::on_load_list_2_clicked()
{
    const QString fileName = Seams::openFileName(this, QStringLiteral("Import Wishlist"), Filter);
    if (fileName.isEmpty())
        return;

    QFile file(fileName);
    QByteArray content;
    bool read = file.open(QIODevice::ReadOnly);
    if (read) {
        content = file.readAll();
        read = file.error() == QFileDevice::NoError;
        file.close();
    }
    // An unreadable file must not wipe the selection the trader has.
    if (!read) {
        Seams::information(this, QStringLiteral("Load Failed"),
                           QStringLiteral("The watch list file could not be read:\n%1\n\n%2")
                               .arg(QDir::toNativeSeparators(fileName), file.errorString()));
        return;
    }

    WatchList::Selection loaded = WatchList::parse(content);
    const QStringList left = WatchList::pairUp(loaded.symbols, loaded.exchanges);
    worker->symbols = loaded.symbols;
    worker->exchanges = loaded.exchanges;
    updateUrlDataState();

    if (!left.isEmpty()) {
        Seams::information(this, QStringLiteral("Watch List Incomplete"),
                           QStringLiteral("These symbols have no exchange in the file and were left out:\n%1")
                               .arg(left.join(QStringLiteral(", "))));
    }
}
