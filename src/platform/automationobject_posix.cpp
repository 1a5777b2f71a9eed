#include "platform/automationobject.h"

#include "platform/journal.h"

#include <QFile>
#include <QRegularExpression>

namespace Platform {

namespace {

// Line count of the file an Import names, at the moment of the call; -1 when unreadable.
QString importedLineCount(const QString &methodText)
{
    static const QRegularExpression importCall(QStringLiteral("^Import\\(([^,]*),([^,]*),(.*)\\)$"));
    const QRegularExpressionMatch match = importCall.match(methodText);
    if (!match.hasMatch())
        return {};
    QFile file(match.captured(2));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("-1");
    qint64 lines = 0;
    char buffer[65536];
    qint64 read = 0;
    char last = '\n';
    while ((read = file.read(buffer, sizeof buffer)) > 0) {
        for (qint64 i = 0; i < read; ++i)
            lines += buffer[i] == '\n';
        last = buffer[read - 1];
    }
    if (last != '\n')
        ++lines;
    return QString::number(lines);
}

// While <install folder>/automation.down exists, AmiBroker counts as closed.
bool amiBrokerDown()
{
    return QFile::exists(Journal::folder() + QStringLiteral("/automation.down"));
}

// While <install folder>/automation.exception exists, AmiBroker refuses each call (on Windows the
// call ends in DISP_E_EXCEPTION); the object stays.
bool amiBrokerRefuses()
{
    return QFile::exists(Journal::folder() + QStringLiteral("/automation.exception"));
}

const QString Failed = QStringLiteral("failed");

class JournallingAutomationObject final : public AutomationObject
{
public:
    explicit JournallingAutomationObject(bool null)
        : m_null(null)
    {
    }

    bool isNull() const override { return m_null; }

    bool call(const QString &methodText) override
    {
        if (m_null || amiBrokerDown() || amiBrokerRefuses()) {
            Journal::append(methodText, Failed);
            return false;
        }
        Journal::append(methodText, importedLineCount(methodText));
        return true;
    }

    bool call(const QString &methodText, const QString &argument) override
    {
        if (m_null || amiBrokerDown() || amiBrokerRefuses()) {
            Journal::append(methodText, Failed);
            return false;
        }
        Journal::append(methodText, argument);
        return true;
    }

private:
    bool m_null = false;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    const bool down = amiBrokerDown();
    Journal::append(QStringLiteral("create %1").arg(progId), down ? Failed : QString());
    return std::make_unique<JournallingAutomationObject>(down);
}

}
