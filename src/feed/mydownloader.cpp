#include "feed/mydownloader.h"

#include <QFile>

MyDownloader::MyDownloader(QString, QString, QString, int) {}
MyDownloader::~MyDownloader() = default;
QString MyDownloader::progressText(qint64, qint64) { return {}; }
QString MyDownloader::speedText(qint64, qint64) { return {}; }
QString MyDownloader::outputFilePath() const { return {}; }
void MyDownloader::initialize(QString, QString, QString, int) {}
void MyDownloader::requestData() {}
void MyDownloader::downloadCompleted() {}
void MyDownloader::abort() {}
void MyDownloader::downloadProgress(qint64, qint64) {}
void MyDownloader::run() {}
