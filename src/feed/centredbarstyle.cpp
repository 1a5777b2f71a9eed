#include "feed/centredbarstyle.h"

#include <QApplication>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>

CentredBarStyle::CentredBarStyle(QStyle *base, QObject *owner)
    : QProxyStyle(base)
{
    setParent(owner);
}

CentredBarStyle *CentredBarStyle::forApplicationStyle(QObject *owner)
{
    // The proxy owns its base, so the base is a second one of the application's style.
    QStyle *base = QStyleFactory::create(QApplication::style()->objectName());
    if (!base)
        return nullptr;
    return new CentredBarStyle(base, owner);
}

QRect CentredBarStyle::subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const
{
    if (element == SE_ProgressBarGroove || element == SE_ProgressBarContents || element == SE_ProgressBarLabel) {
        const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
        // Only a text beside the bar takes room from it.
        if (bar && bar->textVisible && (bar->textAlignment & Qt::AlignCenter)) {
            QStyleOptionProgressBar textless = *bar;
            textless.textVisible = false;
            return QProxyStyle::subElementRect(element, &textless, widget);
        }
    }
    return QProxyStyle::subElementRect(element, option, widget);
}
