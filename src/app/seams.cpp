#include "app/seams.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace Seams {

namespace {

void realInformation(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

QString realSaveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

QString realOpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

void realExit(int code)
{
    std::fflush(nullptr);
    std::exit(code);
}

void realPause(int milliseconds)
{
    QThread::msleep(ulong(milliseconds));
}

int realDuration(int milliseconds)
{
    return milliseconds;
}

void realOpenUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

InformationHandler &informationHandler()
{
    static InformationHandler handler = realInformation;
    return handler;
}

FileNameHandler &saveHandler()
{
    static FileNameHandler handler = realSaveFileName;
    return handler;
}

FileNameHandler &openHandler()
{
    static FileNameHandler handler = realOpenFileName;
    return handler;
}

ExitHandler &exitHandler()
{
    static ExitHandler handler = realExit;
    return handler;
}

PauseHandler &pauseHandler()
{
    static PauseHandler handler = realPause;
    return handler;
}

DurationHandler &durationHandler()
{
    static DurationHandler handler = realDuration;
    return handler;
}

UrlHandler &urlHandler()
{
    static UrlHandler handler = realOpenUrl;
    return handler;
}

}

void information(QWidget *parent, const QString &title, const QString &text)
{
    informationHandler()(parent, title, text);
}

void setInformationHandler(InformationHandler handler)
{
    informationHandler() = handler ? std::move(handler) : realInformation;
}

QString saveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return saveHandler()(parent, caption, filter);
}

QString openFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return openHandler()(parent, caption, filter);
}

void setSaveFileNameHandler(FileNameHandler handler)
{
    saveHandler() = handler ? std::move(handler) : realSaveFileName;
}

void setOpenFileNameHandler(FileNameHandler handler)
{
    openHandler() = handler ? std::move(handler) : realOpenFileName;
}

void exitProcess(int code)
{
    exitHandler()(code);
}

void setExitHandler(ExitHandler handler)
{
    exitHandler() = handler ? std::move(handler) : realExit;
}

void pause(int milliseconds)
{
    pauseHandler()(milliseconds);
}

void setPauseHandler(PauseHandler handler)
{
    pauseHandler() = handler ? std::move(handler) : realPause;
}

int duration(int milliseconds)
{
    return durationHandler()(milliseconds);
}

void setDurationHandler(DurationHandler handler)
{
    durationHandler() = handler ? std::move(handler) : realDuration;
}

void openUrl(const QUrl &url)
{
    urlHandler()(url);
}

void setOpenUrlHandler(UrlHandler handler)
{
    urlHandler() = handler ? std::move(handler) : realOpenUrl;
}

void resetAll()
{
    setInformationHandler({});
    setSaveFileNameHandler({});
    setOpenFileNameHandler({});
    setExitHandler({});
    setPauseHandler({});
    setDurationHandler({});
    setOpenUrlHandler({});
}

}
