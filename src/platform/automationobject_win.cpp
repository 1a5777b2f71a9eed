#include "platform/automationobject.h"

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
        QObject::connect(&m_widget, &QAxWidget::exception, &m_widget,
                         [this](int, const QString &, const QString &, const QString &) { m_failed = true; });
    }

    bool isNull() const override { return m_widget.isNull(); }

    bool call(const QString &methodText) override
    {
        m_failed = false;
        m_widget.dynamicCall(methodText.toLatin1().constData());
        return !m_widget.isNull() && !m_failed;
    }

    bool call(const QString &methodText, const QString &argument) override
    {
        m_failed = false;
        m_widget.dynamicCall(methodText.toLatin1().constData(), QVariant(argument));
        return !m_widget.isNull() && !m_failed;
    }

private:
    QAxWidget m_widget;
    bool m_failed = false;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    return std::make_unique<AxAutomationObject>(progId);
}

}
