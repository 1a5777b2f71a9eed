#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace SingleInstance {

// The listed processes whose image name is imageName, letter case ignored.
[[nodiscard]] int countInstances(const QByteArray &listing, const QString &imageName);

// Quits the process (after the "Already Running" box) when another copy is running.
void check(QWidget *mainWindow);

// The same decision on a listing already taken.
void check(QWidget *mainWindow, const QByteArray &listing);

}
