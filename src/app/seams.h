#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

// Outside effects that tests must control: message boxes, file dialogs, process ends, pauses,
// start-up durations, the desktop's URL handler.
// Each defaults to the real thing; a test installs its own handler.
namespace Seams {

using InformationHandler = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
using FileNameHandler = std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;
using ExitHandler = std::function<void(int code)>;
using PauseHandler = std::function<void(int milliseconds)>;
using DurationHandler = std::function<int(int milliseconds)>;
using UrlHandler = std::function<void(const QUrl &url)>;

// A modal information box with a single OK button.
void information(QWidget *parent, const QString &title, const QString &text);
void setInformationHandler(InformationHandler handler);

[[nodiscard]] QString saveFileName(QWidget *parent, const QString &caption, const QString &filter);
[[nodiscard]] QString openFileName(QWidget *parent, const QString &caption, const QString &filter);
void setSaveFileNameHandler(FileNameHandler handler);
void setOpenFileNameHandler(FileNameHandler handler);

// Ends the process at once (no event-loop exit, nothing saved). Callers return right after,
// so that a test handler which does not end the process leaves the caller harmless.
void exitProcess(int code);
void setExitHandler(ExitHandler handler);

// Blocks the GUI thread.
void pause(int milliseconds);
void setPauseHandler(PauseHandler handler);

// The length of a wait the start-up plays out (the splash); the real length unless a test shortens it.
[[nodiscard]] int duration(int milliseconds);
void setDurationHandler(DurationHandler handler);

// Hands an address or a local folder to the desktop (browser, file manager).
void openUrl(const QUrl &url);
void setOpenUrlHandler(UrlHandler handler);

// Back to the real handlers.
void resetAll();

}
