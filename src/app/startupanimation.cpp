#include "app/startupanimation.h"

#include "app/seams.h"
#include "app/splashgeometry.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QScreen>
#include <QSequentialAnimationGroup>

namespace {
constexpr int BarHeight = 20;
constexpr int GrowMs = 300;
constexpr int FillMs = 1000;
}

startupAnimation::startupAnimation()
    : QDialog(nullptr)
{
    setWindowOpacity(0.0);
}

startupAnimation::~startupAnimation()
{
    // A top-level label has no parent to take it along.
    delete splashLabel;
}

void startupAnimation::hideSplash()
{
    if (splashLabel)
        splashLabel->hide();
}

void startupAnimation::showAnimation()
{
    delete splashLabel;
    splashLabel = new QLabel;
    auto *bar = new QProgressBar(splashLabel);
    bar->setTextVisible(false);

    const QPixmap picture(QStringLiteral(":/startup.jpg"));
    QScreen *screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize();

    splashLabel->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowTitleHint);
    splashLabel->setPixmap(picture);
    splashLabel->setScaledContents(true);
    bar->setGeometry(0, 0, picture.width(), BarHeight);

    auto *group = new QSequentialAnimationGroup(this);
    auto *grow = new QPropertyAnimation(splashLabel, "geometry");
    grow->setDuration(Seams::duration(GrowMs));
    grow->setStartValue(Splash::startRect(picture.size()));
    grow->setEndValue(Splash::endRect(picture.size(), screenSize));
    auto *fill = new QPropertyAnimation(bar, "value");
    fill->setDuration(Seams::duration(FillMs));
    fill->setStartValue(0);
    fill->setEndValue(100);
    group->addAnimation(grow);
    group->addAnimation(fill);

    splashLabel->show();
    group->start(QAbstractAnimation::KeepWhenStopped);
    connect(group, &QSequentialAnimationGroup::finished, this, &QDialog::close);
    // A test's zero-length animation is over before the wait could start.
    if (group->state() == QAbstractAnimation::Running)
        exec();
}
