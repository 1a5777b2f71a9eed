#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Shown when the vendor has no account for this computer's user ID: the trader copies the ID,
// sends it to support, and retries once the account is active. Never modal, so the program
// stays responsive and a test can drive it.
class registrationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit registrationDialog(const QString &userId, QWidget *parent = nullptr);

    // After a retry that still found no account.
    void showStillMissing();

signals:
    void retryRequested();
    void quitRequested();

public slots:
    // Escape and the title bar's close button quit like the Quit button.
    void reject() override;

private:
    void copyUserId();

    QLineEdit *m_userIdEdit;
    QLabel *m_statusLabel;
};
