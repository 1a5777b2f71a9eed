#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace Platform {

// How one automation call ended. Only a lost call means the server is gone; a refused one was
// answered by AmiBroker, which is still there.
struct CallResult
{
    enum class Outcome { Taken, Refused, Lost };
    Outcome outcome = Outcome::Taken;
    // The HRESULT of a refused or lost call.
    quint32 error = 0;
    // What the method returned (Import's result); 0 when it returned nothing.
    qint64 value = 0;

    [[nodiscard]] bool taken() const { return outcome == Outcome::Taken; }
};

// HRESULTs the stand-ins answer with, as Windows does.
inline constexpr quint32 DispExceptionError = 0x80020009u;      // DISP_E_EXCEPTION
inline constexpr quint32 ServerUnavailableError = 0x800706BAu;  // RPC_S_SERVER_UNAVAILABLE

// The late-bound automation object of AmiBroker ("Broker.Application").
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    // True when the server could not be created or attached.
    [[nodiscard]] virtual bool isNull() const = 0;
    virtual CallResult call(const QString &methodText) = 0;
    virtual CallResult call(const QString &methodText, const QString &argument) = 0;
};

using AutomationFactory = std::function<std::unique_ptr<AutomationObject>(const QString &progId)>;

// Creates the object on the ProgID; on Windows this starts or attaches AmiBroker. The Windows
// object needs the widgets library, so the factory is handed to the core by the GUI.
[[nodiscard]] std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId);

}
