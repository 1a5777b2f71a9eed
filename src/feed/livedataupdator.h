#pragma once

#include "feed/liveimport.h"
#include "platform/automationobject.h"
#include "symbols/replypass.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class AmiBroker;
class QFile;
class Selection;

// The bridge into AmiBroker: turns each live reply into an import of the selected symbols' lines.
// It owns the reply pass: one walk over the reply writes the import lines and the quote snapshot.
class liveDataUpdator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(liveDataUpdator)

public:
    liveDataUpdator(const Selection &selection, const Platform::AutomationFactory &automation,
                    QObject *parent = nullptr);
    ~liveDataUpdator() override;

    [[nodiscard]] AmiBroker &amibroker() const { return *m_amibroker; }

signals:
    // AmiBroker took this tick's import file of so many lines.
    void imported(int lines);
    // AmiBroker did not take this tick's import file (away, or refused it).
    void importNotTaken();
    // What this tick's reply held, before anything is imported.
    void replyRead(const LiveImport::Tally &tally, const QByteArray &reply, bool selectionEmpty);
    // Whether this tick's import file could be written; the system's reason when not.
    void importFileWritten(bool written, const QString &reason);
    // After the import: what the reply said of each symbol, while the reply is still in hand.
    void quotesRead(const LiveReplyPass &pass);

public slots:
    // Reads the quote file, then as importReply().
    void updateDataAmi();
    // One live reply, as stored in the quote file, into AmiBroker and the table.
    void importReply(const QByteArray &reply);
    // The same reply read again for the table only.
    void showReply(const QByteArray &reply);

private:
    void readQuoteFile(QFile &quoteFile);

    const Selection &m_selection;
    LiveReplyPass m_pass;
    std::unique_ptr<AmiBroker> m_amibroker;
    QString m_quoteFilePath;     // <root>/rt.txt
    QString m_importFilePath;    // <root>\rtimport.txt
    QString m_importFileError;
    QString m_liveFormatPath;    // <root>\dataFormatRT.dll
    // Kept between ticks so that their memory is reused, not allocated anew for every reply.
    QByteArray m_reply;
    QByteArray m_selectedLines;
};
