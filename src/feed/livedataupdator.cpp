#include "feed/livedataupdator.h"

#include "app/config.h"
#include "app/installfolder.h"
#include "feed/amibroker.h"
#include "feed/liveimport.h"
#include "symbols/selection.h"

#include <QFile>

liveDataUpdator::liveDataUpdator(const Selection &selection, const Platform::AutomationFactory &automation,
                                 QObject *parent)
    : QObject(parent)
    , m_selection(selection)
    , m_amibroker(std::make_unique<AmiBroker>(automation))
{
    const Config &config = Config::instance();
    m_quoteFilePath = config.path(InstallFolder::LiveQuoteFile);
    m_importFilePath = config.nativePath(InstallFolder::ImportFile);
    m_liveFormatPath = config.nativePath(InstallFolder::LiveFormatFile);
}

liveDataUpdator::~liveDataUpdator() = default;

void liveDataUpdator::updateDataAmi()
{
    QFile quoteFile(m_quoteFilePath);
    QFile importFile(m_importFilePath);
    quoteFile.open(QIODevice::ReadOnly | QIODevice::Text);
    importFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);

    // Text mode drops every "\r" on reading, so CRLF replies filter like LF ones.
    const QByteArray reply = quoteFile.isOpen() ? quoteFile.readAll() : QByteArray();
    bool written = false;
    int lineCount = 0;
    if (importFile.isOpen()) {
        const QByteArray lines = LiveImport::selectedLines(reply, m_selection.symbolSet());
        written = importFile.write(lines) == lines.size();
        lineCount = lines.count('\n');
    }

    quoteFile.close();
    importFile.close();

    // An import file that could not be rewritten still holds the previous ticks: importing it
    // again would store them twice. The next reply tries again.
    if (written && importFile.error() == QFileDevice::NoError) {
        // An unreachable AmiBroker is asked once per tick, not once per call.
        if (m_amibroker->import(m_importFilePath, m_liveFormatPath)) {
            m_amibroker->refreshAll();
            emit imported(lineCount);
        }
    }
    emit updateDisplayTable();
}
