#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace Platform {

// The late-bound automation object of AmiBroker ("Broker.Application").
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    // True when the server could not be created or attached.
    [[nodiscard]] virtual bool isNull() const = 0;
    // False when the call failed (server gone, call refused).
    virtual bool call(const QString &methodText) = 0;
    virtual bool call(const QString &methodText, const QString &argument) = 0;
};

using AutomationFactory = std::function<std::unique_ptr<AutomationObject>(const QString &progId)>;

// Creates the object on the ProgID; on Windows this starts or attaches AmiBroker. The Windows
// object needs the widgets library, so the factory is handed to the core by the GUI.
[[nodiscard]] std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId);

}
