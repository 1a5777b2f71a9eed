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
    , m_pass(selection)
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
    {
        // The reply is read as the bytes the vendor sent.
        QFile quoteFile(m_quoteFilePath);
        quoteFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        readQuoteFile(quoteFile);
    }
    importReply(m_reply);
}

void liveDataUpdator::importReply(const QByteArray &reply)
{
    m_pass.read(reply, &m_selectedLines, LiveImport::NativeLineEnd);
    const LiveImport::Tally &tally = m_pass.tally();
    emit replyRead(tally, reply, m_selection.isEmpty());

    // An import file that could not be rewritten still holds the previous ticks whole: importing
    // it again would store them twice. The next reply tries again.
    const bool written = LiveImport::rewriteInPlace(m_importFilePath, m_selectedLines, &m_importFileError);
    emit importFileWritten(written, written ? QString() : m_importFileError);
    if (written) {
        // An unreachable AmiBroker is asked once per tick, not once per call.
        if (m_amibroker->import(m_importFilePath, m_liveFormatPath)) {
            m_amibroker->refreshAll();
            emit imported(tally.selected);
        } else {
            emit importNotTaken();
        }
    }
    emit quotesRead(m_pass);
}

void liveDataUpdator::showReply(const QByteArray &reply)
{
    m_pass.read(reply, nullptr, LiveImport::NativeLineEnd);
    emit quotesRead(m_pass);
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
