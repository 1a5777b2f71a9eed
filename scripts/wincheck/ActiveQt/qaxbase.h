#pragma once
// Declarations of Qt 5's ActiveQt container API as documented, for the Windows compile check on
// machines without ActiveQt. Nothing here is ever linked.

#include <QtCore/qlist.h>
#include <QtCore/qmap.h>
#include <QtCore/qstring.h>
#include <QtCore/qstringlist.h>
#include <QtCore/qvariant.h>

class QAxObject;
class QMetaObject;
class QObject;
class QUuid;
struct IUnknown;

class QAxBase
{
public:
    typedef QMap<QString, QVariant> PropertyBag;

    explicit QAxBase(IUnknown *iface = nullptr);
    virtual ~QAxBase();

    QString control() const;
    bool setControl(const QString &c);
    virtual void clear();
    bool isNull() const;

    long queryInterface(const QUuid &uuid, void **iface) const;

    QVariant dynamicCall(const char *function, const QVariant &var1 = QVariant(),
                         const QVariant &var2 = QVariant(), const QVariant &var3 = QVariant(),
                         const QVariant &var4 = QVariant(), const QVariant &var5 = QVariant(),
                         const QVariant &var6 = QVariant(), const QVariant &var7 = QVariant(),
                         const QVariant &var8 = QVariant());
    QVariant dynamicCall(const char *function, QList<QVariant> &vars);
    QAxObject *querySubObject(const char *name, const QVariant &var1 = QVariant(),
                              const QVariant &var2 = QVariant(), const QVariant &var3 = QVariant(),
                              const QVariant &var4 = QVariant(), const QVariant &var5 = QVariant(),
                              const QVariant &var6 = QVariant(), const QVariant &var7 = QVariant(),
                              const QVariant &var8 = QVariant());
    QAxObject *querySubObject(const char *name, QList<QVariant> &vars);

    PropertyBag propertyBag() const;
    void setPropertyBag(const PropertyBag &bag);
    virtual bool propertyWritable(const char *prop) const;
    virtual void setPropertyWritable(const char *prop, bool ok);

    QString generateDocumentation();
    QStringList verbs() const;
    QVariant asVariant() const;

    unsigned long classContext() const;
    void setClassContext(unsigned long classContext);

    void disableMetaObject();
    void disableClassInfo();
    void disableEventSink();

    virtual const QMetaObject *metaObject() const = 0;
    virtual QObject *qObject() const = 0;
    virtual const char *className() const = 0;
};
