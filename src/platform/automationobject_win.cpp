#include "platform/automationobject.h"
#include "platform/axexceptionwatch_win.h"

#include <ActiveQt/QAxWidget>
#include <QObject>
#include <QVariant>

namespace Platform {

namespace {

class AxAutomationObject final : public AutomationObject
{
public:
    explicit AxAutomationObject(const QString &progId)
        : m_widget(progId)
    {
        // A failed call (AmiBroker closed, RPC gone) shows up only as this signal.
        QObject::connect(&m_widget, SIGNAL(exception(int,QString,QString,QString)), &m_watch,
                         SLOT(caught(int,QString,QString,QString)));
    }

    bool isNull() const override { return m_widget.isNull(); }

    bool call(const QString &methodText) override
    {
        m_watch.failed = false;
        m_widget.dynamicCall(methodText.toLatin1().constData());
        return !m_widget.isNull() && !m_watch.failed;
    }

    bool call(const QString &methodText, const QString &argument) override
    {
        m_watch.failed = false;
        m_widget.dynamicCall(methodText.toLatin1().constData(), QVariant(argument));
        return !m_widget.isNull() && !m_watch.failed;
    }

private:
    AxExceptionWatch m_watch;
    QAxWidget m_widget;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    return std::make_unique<AxAutomationObject>(progId);
}

}
