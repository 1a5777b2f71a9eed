// The start-up picture: where it grows from and to, and how long it holds up the start.
#include "app/seams.h"
#include "app/splashgeometry.h"
#include "app/startupanimation.h"

#include <QtTest>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

class TestStartupAnimation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startRect_data();
    void startRect();
    void endRect_data();
    void endRect();
    void playsThenStays();
    void missingPictureStillWaits();
    void shortenedSplashEndsAlike_data();
    void shortenedSplashEndsAlike();
};

void TestStartupAnimation::initTestCase()
{
    // The pictures live in the static GUI library.
    Q_INIT_RESOURCE(resources);
}

void TestStartupAnimation::startRect_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("shipped picture") << QSize(500, 124) << QRect(100, 100, 100, 24);
    QTest::newRow("fifths truncated") << QSize(504, 129) << QRect(100, 100, 100, 25);
    QTest::newRow("no picture") << QSize(0, 0) << QRect(100, 100, 0, 0);
}

void TestStartupAnimation::startRect()
{
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    QCOMPARE(Splash::startRect(picture), expected);
}

void TestStartupAnimation::endRect_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("full hd") << QSize(500, 124) << QSize(1920, 1080) << QRect(710, 478, 500, 124);
    QTest::newRow("odd screen") << QSize(500, 124) << QSize(1367, 769) << QRect(433, 322, 500, 124);
    QTest::newRow("screen smaller than picture")
        << QSize(500, 124) << QSize(400, 100) << QRect(-50, -12, 500, 124);
    // (401 - 500) / 2 is -49 truncated toward zero, not -50 rounded down.
    QTest::newRow("negative halves toward zero")
        << QSize(500, 124) << QSize(401, 101) << QRect(-49, -11, 500, 124);
}

void TestStartupAnimation::endRect()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, screen);
    QFETCH(QRect, expected);
    QCOMPARE(Splash::endRect(picture, screen), expected);
}

void TestStartupAnimation::playsThenStays()
{
    startupAnimation splash;
    QCOMPARE(splash.windowOpacity(), 0.0);
    QVERIFY(!splash.parent());

    QElapsedTimer clock;
    clock.start();
    splash.showAnimation();
    QVERIFY2(clock.elapsed() >= 1300 - 16, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!splash.isVisible());

    QLabel *label = splash.splashLabel;
    QVERIFY(label);
    QVERIFY(label->isVisible());
    QVERIFY(!label->parent());
    QCOMPARE(label->windowFlags(), Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowTitleHint);
    QVERIFY(label->hasScaledContents());
    QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(500, 124));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QCOMPARE(label->geometry(), Splash::endRect(QSize(500, 124), screen));

    auto *bar = label->findChild<QProgressBar *>();
    QVERIFY(bar);
    QCOMPARE(bar->value(), 100);
    QVERIFY(!bar->isTextVisible());
    QCOMPARE(bar->geometry(), QRect(0, 0, 500, 20));

    splash.hideSplash();
    QVERIFY(label->isHidden());
}

void TestStartupAnimation::missingPictureStillWaits()
{
    // A picture that cannot be read leaves a label of no size; the wait is the same.
    Q_CLEANUP_RESOURCE(resources);
    startupAnimation splash;
    QElapsedTimer clock;
    clock.start();
    splash.showAnimation();
    const qint64 elapsed = clock.elapsed();
    Q_INIT_RESOURCE(resources);
    // The animations run on their own frame clock (16 ms frames), which may end a frame early of ours.
    QVERIFY2(elapsed >= 1300 - 16, qPrintable(QString::number(elapsed)));
    QCOMPARE(splash.splashLabel->size(), QSize(0, 0));
}

void TestStartupAnimation::shortenedSplashEndsAlike_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("no time") << 0;
    QTest::newRow("one millisecond") << 1;
}

// Window tests shorten the splash; it asks for its real lengths and still ends where the real one does.
void TestStartupAnimation::shortenedSplashEndsAlike()
{
    QFETCH(int, length);
    QList<int> asked;
    Seams::setDurationHandler([&asked, length](int milliseconds) {
        asked << milliseconds;
        return length;
    });
    startupAnimation splash;
    splash.showAnimation();
    Seams::resetAll();

    QCOMPARE(asked, (QList<int>{300, 1000}));
    QVERIFY(!splash.isVisible());
    QLabel *label = splash.splashLabel;
    QVERIFY(label->isVisible());
    QCOMPARE(label->geometry(), Splash::endRect(QSize(500, 124), QGuiApplication::primaryScreen()->size()));
    QCOMPARE(label->findChild<QProgressBar *>()->value(), 100);
}

QTEST_MAIN(TestStartupAnimation)
#include "tst_startupanimation.moc"
