#include "feed/amibrokerlivedata2.h"

#include "app/config.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "feed/amibroker.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "platform/processender.h"
#include "workspace/provisioning.h"

#include <QCloseEvent>
#include <QSettings>
#include <QTimer>

namespace {

constexpr int AmiBrokerSettleMs = 2000;

// Once the window goes, no reply may reach AmiBroker any more: its database is being saved.
void silence(MyDownloader *downloader)
{
    if (!downloader)
        return;
    downloader->pollTimer->stop();
    downloader->watchdogTimer->stop();
    downloader->blockSignals(true);
}

}

void amibrokerlivedata2::reject()
{
    // Escape would only hide the window; the trader's choices and AmiBroker's database must be saved.
    close();
}

void amibrokerlivedata2::closeEvent(QCloseEvent *event)
{
    silence(liveDownloader);
    silence(backfillDownloader);

    QSettings store(Store::Organisation, Store::Application);
    for (int i = 0; i < int(feedFlags.size()); ++i)
        store.setValue(Store::feedBoxKey(i), feedFlags[size_t(i)]);
    if (worker) {
        store.setValue(Store::SelectedSymbols, worker->symbols);
        store.setValue(Store::SelectedExchanges, worker->exchanges);
    }
    // On disk before AmiBroker may be ended below.
    store.sync();

    if (worker && worker->amibroker) {
        if (store.value(Store::SaveLayout).toBool())
            worker->amibroker->saveLayout(Config::instance().nativePath(Workspace::LayoutFile));
        worker->amibroker->saveDatabase();
    }

    if (settingsDialog && settingsDialog->controlAmibroker) {
        hide();
        Seams::pause(AmiBrokerSettleMs);
        Platform::endProcessTree(QStringLiteral("Broker.exe"));
    }

    // Not QDialog::closeEvent: it calls reject(), which closes again, and then refuses the event.
    event->accept();
}
