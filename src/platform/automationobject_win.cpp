#include "platform/automationobject.h"

#include <ActiveQt/QAxWidget>
#include <QUuid>
#include <QVariant>
#include <QVector>
#include <QtDebug>

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <iterator>

namespace Platform {

namespace {

// The call never reached AmiBroker, or its answer never came back: the server is gone. Anything
// else is AmiBroker's own answer to this call.
bool isTransportFailure(HRESULT result)
{
    static const HRESULT transport[] = {
        HRESULT(0x800706BAu),   // RPC_S_SERVER_UNAVAILABLE
        HRESULT(0x800706BEu),   // RPC_S_CALL_FAILED
        HRESULT(0x800706BFu),   // RPC_S_CALL_FAILED_DNE
        RPC_E_DISCONNECTED,
        RPC_E_SERVER_DIED,
        RPC_E_SERVER_DIED_DNE,
        CO_E_OBJNOTCONNECTED,
    };
    return std::find(std::begin(transport), std::end(transport), result) != std::end(transport);
}

// What a method handed back, as a whole number; 0 for nothing or a value that is no number.
qint64 returnedValue(VARIANT &answer)
{
    if (answer.vt == VT_EMPTY)
        return 0;
    VARIANT number;
    VariantInit(&number);
    qint64 value = 0;
    if (SUCCEEDED(VariantChangeType(&number, &answer, 0, VT_I4)))
        value = number.lVal;
    VariantClear(&number);
    return value;
}

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

    CallResult call(const QString &methodText) override
    {
        // "Name(a,b,c)": the values travel inside the text, split at the commas as Qt's container does.
        const int open = methodText.indexOf(QLatin1Char('('));
        const QString inner = methodText.mid(open + 1, methodText.size() - open - 2);
        return invoke(methodText, methodText.left(open),
                      inner.isEmpty() ? QStringList() : inner.split(QLatin1Char(',')));
    }

    CallResult call(const QString &methodText, const QString &argument) override
    {
        return invoke(methodText, methodText.left(methodText.indexOf(QLatin1Char('('))), {argument});
    }

private:
    // Judged by the HRESULT: Qt's dynamicCall() signals only DISP_E_EXCEPTION, while a server that
    // has gone away answers with an RPC error that dynamicCall() merely prints.
    CallResult invoke(const QString &methodText, const QString &name, const QStringList &arguments)
    {
        if (m_widget.isNull())
            return {CallResult::Outcome::Lost, quint32(CO_E_OBJNOTCONNECTED), 0};
        IDispatch *dispatch = nullptr;
        HRESULT result = HRESULT(m_widget.queryInterface(QUuid(IID_IDispatch), reinterpret_cast<void **>(&dispatch)));
        if (SUCCEEDED(result) && !dispatch)
            result = E_NOINTERFACE;
        // Without its IDispatch the object is of no use: made again, like a vanished one.
        if (FAILED(result)) {
            qWarning("%s failed: 0x%08lx", qUtf8Printable(methodText), static_cast<unsigned long>(result));
            return {CallResult::Outcome::Lost, quint32(result), 0};
        }
        qint64 value = 0;
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
            if (SUCCEEDED(result))
                value = returnedValue(answer);
            VariantClear(&answer);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrDescription);
            SysFreeString(exception.bstrHelpFile);
        }
        dispatch->Release();
        if (FAILED(result)) {
            qWarning("%s failed: 0x%08lx", qUtf8Printable(methodText), static_cast<unsigned long>(result));
            return {isTransportFailure(result) ? CallResult::Outcome::Lost : CallResult::Outcome::Refused,
                    quint32(result), 0};
        }
        return {CallResult::Outcome::Taken, 0, value};
    }

    QAxWidget m_widget;
};

}

std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId)
{
    return std::make_unique<AxAutomationObject>(progId);
}

}
