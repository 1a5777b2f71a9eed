#pragma once

#include <QObject>
#include <QString>

namespace Platform {

// Qt 5's ActiveX container announces a failed call only through its "exception" signal, which
// exists in the meta-object alone: this receiver notes it.
class AxExceptionWatch final : public QObject
{
    Q_OBJECT

public:
    bool failed = false;

public slots:
    void caught(int, const QString &, const QString &, const QString &) { failed = true; }
};

}
