#pragma once

#include "qaxbase.h"

#include <QtCore/qobject.h>

class QAxObject : public QObject, public QAxBase
{
public:
    explicit QAxObject(QObject *parent = nullptr);
    explicit QAxObject(const QString &c, QObject *parent = nullptr);
    explicit QAxObject(IUnknown *iface, QObject *parent = nullptr);
    ~QAxObject() override;

    bool doVerb(const QString &verb);

    const QMetaObject *metaObject() const override;
    QObject *qObject() const override;
    const char *className() const override;
};
