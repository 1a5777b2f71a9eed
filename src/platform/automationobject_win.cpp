#include "platform/automationobject.h"

#include <ActiveQt/QAxWidget>
#include <QUuid>
#include <QVariant>
#include <QVector>
#include <QtDebug>

#include <windows.h>
#include <oleauto.h>

namespace Platform {

namespace {

// Arguments handed over as the container would: whole numbers as VT_I4, the rest as BSTR.
class Arguments final
{
public:
    explicit Arguments(const QStringList &texts)
        : m_values(texts.size())
    {
        // IDispatch takes the arguments last to first.
        for (int i = 0; i < texts.size(); ++i) {
            VARIANT &value = m_values[texts.size() - 1 - i];
            VariantInit(&value);
            bool isNumber = false;
            const int number = texts.at(i).toInt(&isNumber);
            if (isNumber) {
                value.vt = VT_I4;
                value.lVal = number;
            } else {
                value.vt = VT_BSTR;
                value.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR *>(texts.at(i).utf16()),
                                                  UINT(texts.at(i).size()));
            }
        }
    }
    ~Arguments()
    {
        for (VARIANT &value : m_values)
            VariantClear(&value);
    }
    Q_DISABLE_COPY_MOVE(Arguments)

    DISPPARAMS parameters() { return {m_values.data(), nullptr, UINT(m_values.size()), 0}; }

private:
    QVector<VARIANT> m_values;
};

class AxAutomationObject final : public AutomationObject
{
public:
    explicit AxAutomationObject(const QString &progId)
    {
        // Calls go straight to IDispatch: no meta-object built from type information AmiBroker may lack.
        m_widget.disableMetaObject();
        m_widget.setControl(progId);
    }

    bool isNull() const override { return m_widget.isNull(); }

    bool call(const QString &methodText) override
    {
        // "Name(a,b,c)": the values travel inside the text, split at the commas as Qt's container does.
        const int open = methodText.indexOf(QLatin1Char('('));
        const QString inner = methodText.mid(open + 1, methodText.size() - open - 2);
        return invoke(methodText, methodText.left(open),
                      inner.isEmpty() ? QStringList() : inner.split(QLatin1Char(',')));
    }

    bool call(const QString &methodText, const QString &argument) override
    {
        return invoke(methodText, methodText.left(methodText.indexOf(QLatin1Char('('))), {argument});
    }

private:
    // Judged by the HRESULT: Qt's dynamicCall() signals only DISP_E_EXCEPTION, while a server that
    // has gone away answers with an RPC error that dynamicCall() merely prints.
    bool invoke(const QString &methodText, const QString &name, const QStringList &arguments)
    {
        if (m_widget.isNull())
            return false;
        IDispatch *dispatch = nullptr;
        HRESULT result = HRESULT(m_widget.queryInterface(QUuid(IID_IDispatch), reinterpret_cast<void **>(&dispatch)));
        if (SUCCEEDED(result) && !dispatch)
            result = E_NOINTERFACE;
        if (SUCCEEDED(result)) {
            std::wstring member = name.toStdWString();
            LPOLESTR names[] = {member.data()};
            DISPID id = DISPID_UNKNOWN;
            result = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            if (SUCCEEDED(result)) {
                Arguments values(arguments);
                DISPPARAMS parameters = values.parameters();
                VARIANT answer;
                VariantInit(&answer);
                EXCEPINFO exception = {};
                UINT argumentError = 0;
                result = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                          &parameters, &answer, &exception, &argumentError);
                VariantClear(&answer);
                SysFreeString(exception.bstrSource);
                SysFreeString(exception.bstrDescription);
                SysFreeString(exception.bstrHelpFile);
            }
            dispatch->Release();
        }
        if (FAILED(result)) {
            qWarning("%s failed: 0x%08lx", qUtf8Printable(methodText), static_cast<unsigned long>(result));
            return false;
        }
        return true;
    }

    QAxWidget m_widget;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    return std::make_unique<AxAutomationObject>(progId);
}

}
