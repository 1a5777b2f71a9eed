#include "feed/livedataupdator.h"

#include "app/config.h"
#include "app/installfolder.h"
#include "feed/amibroker.h"
#include "feed/liveimport.h"
#include "symbols/selection.h"

#include <QFile>

#include <limits>

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
    // The reply is read as the bytes the vendor sent; the import file gets the platform's line ends.
    quoteFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // Overwritten in place and cut to size: a file emptied first is pushed to disk on close by
    // some file systems (ext4), milliseconds of every tick.
    importFile.open(QIODevice::ReadWrite | QIODevice::Text | QIODevice::Unbuffered);

    readQuoteFile(quoteFile);
    bool written = false;
    int lineCount = 0;
    if (importFile.isOpen()) {
        LiveImport::selectLines(m_reply, m_selection.symbolBytes(), m_selectedLines);
        // The position counts the line ends as written, "\r\n" where text mode makes them so.
        written = importFile.write(m_selectedLines) == m_selectedLines.size()
            && importFile.resize(importFile.pos());
        lineCount = m_selectedLines.count('\n');
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

void liveDataUpdator::readQuoteFile(QFile &quoteFile)
{
    const qint64 size = quoteFile.isOpen() ? quoteFile.size() : 0;
    // A file no byte array can hold reads as an empty reply, as a failed read would.
    if (size <= 0 || size >= std::numeric_limits<int>::max()) {
        m_reply.resize(0);
        return;
    }
    m_reply.resize(int(size));
    const qint64 got = quoteFile.read(m_reply.data(), size);
    m_reply.resize(got > 0 ? int(got) : 0);
}
