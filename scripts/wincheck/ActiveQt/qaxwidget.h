#pragma once

#include "qaxbase.h"

#include <QtWidgets/qwidget.h>

class QAxWidget : public QWidget, public QAxBase
{
public:
    explicit QAxWidget(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());
    explicit QAxWidget(const QString &c, QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());
    explicit QAxWidget(IUnknown *iface, QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());
    ~QAxWidget() override;

    void clear() override;
    bool doVerb(const QString &verb);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    const QMetaObject *metaObject() const override;
    QObject *qObject() const override;
    const char *className() const override;
};
