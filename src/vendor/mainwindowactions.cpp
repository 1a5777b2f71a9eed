#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/seams.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

void amibrokerlivedata2::on_contactSupportButton_clicked()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(contactSupportLink));
}

void amibrokerlivedata2::on_copyIDButton_clicked()
{
    const QString details = QStringLiteral("Software : Tickvane \nUser ID  : ") + ui->machineIDLabel->text()
        + QStringLiteral("\nVersion  : ") + QCoreApplication::applicationVersion();
    QGuiApplication::clipboard()->setText(details);
    Seams::information(this, QStringLiteral("Software Details"),
                       QStringLiteral("\nYour details copied to clipboard. Right click and Paste to Share\n"));
}

void amibrokerlivedata2::showStatusMessage(QString message)
{
    ui->statusLabel->setText(message);
}
