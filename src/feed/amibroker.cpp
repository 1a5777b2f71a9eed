#include "feed/amibroker.h"

#include "app/eventlog.h"

#include <QTimer>

AmiBroker::AmiBroker(Platform::AutomationFactory factory, QObject *parent)
    : QObject(parent)
    , m_factory(std::move(factory))
    , m_object(m_factory(ProgId))
    , m_lost(!m_object || m_object->isNull())
{
    m_relinkTimer = new QTimer(this);
    m_relinkTimer->setInterval(RelinkIntervalMs);
    connect(m_relinkTimer, &QTimer::timeout, this, &AmiBroker::relinkOnItsOwn);
    if (m_lost) {
        EventLog::warning(QStringLiteral("amibroker"), QStringLiteral("AmiBroker not reachable at start"));
        m_relinkTimer->start();
    }
}

void AmiBroker::setRelinkInterval(int ms)
{
    m_relinkTimer->setInterval(ms);
}

void AmiBroker::relinkOnItsOwn()
{
    relink();
}

AmiBroker::~AmiBroker() = default;

QString AmiBroker::importText(const QString &dataFile, const QString &formatFile)
{
    return QStringLiteral("Import(%1,%2,%3)").arg(QString::number(0), dataFile, formatFile);
}

QString AmiBroker::saveLayoutText(const QString &layoutFile)
{
    return QStringLiteral("SaveLayout(%1)").arg(layoutFile);
}

void AmiBroker::setLost(bool lost)
{
    if (m_lost == lost)
        return;
    m_lost = lost;
    if (lost) {
        EventLog::warning(QStringLiteral("amibroker"), QStringLiteral("AmiBroker link lost"));
        m_relinkTimer->start();
    } else {
        EventLog::info(QStringLiteral("amibroker"), QStringLiteral("AmiBroker link restored"));
        m_relinkTimer->stop();
    }
    emit reachableChanged(!lost);
}

bool AmiBroker::relink()
{
    if (!m_lost)
        return true;
    m_object = m_factory(ProgId);
    if (!m_object || m_object->isNull())
        return false;
    // A restarted AmiBroker has some other database open: nothing goes in before ours is loaded.
    if (!m_databaseFolder.isEmpty()) {
        const Platform::CallResult loaded = m_object->call(LoadDatabaseMethod, m_databaseFolder);
        if (loaded.outcome == Platform::CallResult::Outcome::Refused)
            noteRefusal(LoadDatabaseMethod, errorText(loaded.error));
        if (!loaded.taken())
            return false;
    }
    setLost(false);
    return true;
}

QString AmiBroker::errorText(quint32 error)
{
    return QStringLiteral("0x%1").arg(error, 8, 16, QLatin1Char('0'));
}

// Once per method text and reason, until AmiBroker takes that call again: a refused live import
// would otherwise fill the log at the poll rate.
void AmiBroker::noteRefusal(const QString &methodText, const QString &reason)
{
    const auto known = m_refusals.constFind(methodText);
    if (known != m_refusals.cend() && *known == reason)
        return;
    m_refusals.insert(methodText, reason);
    EventLog::warning(QStringLiteral("amibroker"), QStringLiteral("AmiBroker refused %1: %2").arg(methodText, reason));
}

// Only a call that never reached AmiBroker loses the link; one it answered with an error leaves
// the object as it is.
bool AmiBroker::judge(const QString &methodText, const Platform::CallResult &result)
{
    switch (result.outcome) {
    case Platform::CallResult::Outcome::Taken:
        m_refusals.remove(methodText);
        return true;
    case Platform::CallResult::Outcome::Refused:
        noteRefusal(methodText, errorText(result.error));
        return false;
    case Platform::CallResult::Outcome::Lost:
        setLost(true);
        return false;
    }
    return false;
}

bool AmiBroker::call(const QString &methodText)
{
    if (!relink())
        return false;
    return judge(methodText, m_object->call(methodText));
}

bool AmiBroker::loadDatabase(const QString &databaseFolder)
{
    m_databaseFolder = databaseFolder;
    if (m_lost) {
        // The relink loads the database itself.
        return relink();
    }
    return judge(LoadDatabaseMethod, m_object->call(LoadDatabaseMethod, databaseFolder));
}

bool AmiBroker::import(const QString &dataFile, const QString &formatFile)
{
    const QString text = importText(dataFile, formatFile);
    if (!relink())
        return false;
    const Platform::CallResult result = m_object->call(text);
    if (result.taken() && result.value < 0) {
        // AmiBroker answered, and did not take the file.
        noteRefusal(text, QStringLiteral("Import returned %1").arg(result.value));
        return false;
    }
    return judge(text, result);
}

bool AmiBroker::refreshAll()
{
    return call(QStringLiteral("RefreshAll()"));
}

bool AmiBroker::saveDatabase()
{
    return call(QStringLiteral("SaveDatabase()"));
}

bool AmiBroker::saveLayout(const QString &layoutFile)
{
    return call(saveLayoutText(layoutFile));
}
