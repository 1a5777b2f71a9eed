#pragma once

#include "feed/liveimport.h"
#include "platform/automationobject.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class AmiBroker;
class DisplayTableModel;
class QFile;
class Selection;

// The bridge into AmiBroker: turns each live reply into an import of the selected symbols' lines.
class liveDataUpdator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(liveDataUpdator)

public:
    liveDataUpdator(const Selection &selection, const Platform::AutomationFactory &automation,
                    QObject *parent = nullptr);
    ~liveDataUpdator() override;

    [[nodiscard]] AmiBroker &amibroker() const { return *m_amibroker; }
    // The table is read in the same pass as the import file and shown after the import.
    void setTable(DisplayTableModel *table) { m_table = table; }

signals:
    void updateDisplayTable();
    // AmiBroker took this tick's import file of so many lines.
    void imported(int lines);
    // AmiBroker did not take this tick's import file (away, or refused it).
    void importNotTaken();
    // What this tick's reply held, before anything is imported.
    void replyRead(const LiveImport::Tally &tally, const QByteArray &reply, bool selectionEmpty);
    // Whether this tick's import file could be written; the system's reason when not.
    void importFileWritten(bool written, const QString &reason);

public slots:
    // Reads the quote file, then as importReply().
    void updateDataAmi();
    // One live reply, as stored in the quote file, into AmiBroker and the table.
    void importReply(const QByteArray &reply);

private:
    void readQuoteFile(QFile &quoteFile);

    const Selection &m_selection;
    DisplayTableModel *m_table = nullptr;
    std::unique_ptr<AmiBroker> m_amibroker;
    QString m_quoteFilePath;     // <root>/rt.txt
    QString m_importFilePath;    // <root>\rtimport.txt
    QString m_importFileError;
    QString m_liveFormatPath;    // <root>\dataFormatRT.dll
    // Kept between ticks so that their memory is reused, not allocated anew for every reply.
    QByteArray m_reply;
    QByteArray m_selectedLines;
};
