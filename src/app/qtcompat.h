#pragma once

#include <QNetworkAccessManager>

// The few places where Qt 5 and Qt 6 differ for this program, kept here so that the rest of the
// code reads the same on both. Each one keeps what the Qt 5 build does. One needs no call: a Qt 6
// build with MinGW runs regular expressions without the JIT (qtcompat.cpp says why).
namespace QtCompat {

// High-DPI scaling as the Qt 5 build has it: on, with the scale factor rounded to a whole number
// (a window at 150% is drawn at 2x); Qt 6 always scales but passes 1.5 through. Called before
// each application object is created. These three live in the GUI library.
void enableHighDpiScaling();
// Undoes enableHighDpiScaling(), so that a test can see it done again.
void resetHighDpiScaling();
[[nodiscard]] bool highDpiScalingEnabled();

// Qt 6 follows HTTP redirects by default, Qt 5 hands the redirect back as the reply: the vendor's
// servers see the same requests from both builds.
inline void keepQt5RedirectPolicy(QNetworkAccessManager *manager)
{
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

}
