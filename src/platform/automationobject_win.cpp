#include "platform/automationobject.h"

#include <ActiveQt/QAxWidget>
#include <QVariant>

namespace Platform {

namespace {

class AxAutomationObject final : public AutomationObject
{
public:
    explicit AxAutomationObject(const QString &progId)
        : m_widget(progId)
    {
    }

    void call(const QString &methodText) override
    {
        m_widget.dynamicCall(methodText.toLatin1().constData());
    }

    void call(const QString &methodText, const QString &argument) override
    {
        m_widget.dynamicCall(methodText.toLatin1().constData(), QVariant(argument));
    }

private:
    QAxWidget m_widget;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    return std::make_unique<AxAutomationObject>(progId);
}

}
