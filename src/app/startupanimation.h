#pragma once

#include <QDialog>

class QLabel;

// The start-up picture growing to the middle of the screen with a bar filling across its top.
// The dialog itself stays transparent: it only carries the modal wait.
class startupAnimation : public QDialog
{
    Q_OBJECT

public:
    startupAnimation();
    ~startupAnimation() override;

    // Created by showAnimation(); stays on screen until hideSplash().
    QLabel *splashLabel = nullptr;

    void hideSplash();

public slots:
    // Plays the growth and the bar; returns once both have run (1300 ms).
    void showAnimation();
};
