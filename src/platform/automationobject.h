#pragma once

#include <QString>

#include <memory>

namespace Platform {

// The late-bound automation object of AmiBroker ("Broker.Application").
// Results are never examined, so calls return nothing.
class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    virtual void call(const QString &methodText) = 0;
    virtual void call(const QString &methodText, const QString &argument) = 0;
};

// Creates the object on the ProgID; on Windows this starts or attaches AmiBroker.
[[nodiscard]] std::unique_ptr<AutomationObject> createAutomationObject(const QString &progId);

}
