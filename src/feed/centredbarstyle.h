#pragma once

#include <QProxyStyle>

// The style of a progress bar whose text is centred. The styles measure the bar's text (and
// "100%") each time they place the groove, the contents and the label, three times a paint,
// although a centred text moves none of them; the live bar's text changes at every tick. This
// places them as the application's style does, without the text.
class CentredBarStyle final : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CentredBarStyle)

public:
    // Null when the application's style cannot be made again by name; the bar keeps its style.
    static CentredBarStyle *forApplicationStyle(QObject *owner);

    QRect subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const override;

private:
    CentredBarStyle(QStyle *base, QObject *owner);
};
