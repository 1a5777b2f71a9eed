#include "vendor/registrationdialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

registrationDialog::registrationDialog(const QString &userId, QWidget *parent)
    : QDialog(parent)
    , m_userIdEdit(new QLineEdit(userId, this))
    , m_statusLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("registrationDialog"));
    setWindowTitle(QStringLiteral("Tickvane Registration"));

    auto *intro = new QLabel(QStringLiteral("No Tickvane account is active for this computer yet."), this);
    m_userIdEdit->setObjectName(QStringLiteral("userIdEdit"));
    m_userIdEdit->setReadOnly(true);
    auto *copyButton = new QPushButton(QStringLiteral("Copy"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    copyButton->setAutoDefault(false);
    auto *instructions = new QLabel(
        QStringLiteral("Send this User ID to Tickvane support to activate your account, "
                       "then press Retry."),
        this);
    instructions->setWordWrap(true);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setWordWrap(true);
    auto *retryButton = new QPushButton(QStringLiteral("Retry"), this);
    retryButton->setObjectName(QStringLiteral("retryButton"));
    retryButton->setDefault(true);
    auto *quitButton = new QPushButton(QStringLiteral("Quit"), this);
    quitButton->setObjectName(QStringLiteral("quitButton"));
    quitButton->setAutoDefault(false);

    auto *idRow = new QHBoxLayout;
    idRow->addWidget(new QLabel(QStringLiteral("User ID :"), this));
    idRow->addWidget(m_userIdEdit, 1);
    idRow->addWidget(copyButton);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(retryButton);
    buttonRow->addWidget(quitButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(idRow);
    layout->addWidget(instructions);
    layout->addWidget(m_statusLabel);
    layout->addLayout(buttonRow);
    setMinimumWidth(460);
    if (userId.isEmpty())
        m_statusLabel->setText(QStringLiteral("This computer has no User ID. Please contact Tickvane support."));

    connect(copyButton, &QPushButton::clicked, this, &registrationDialog::copyUserId);
    connect(retryButton, &QPushButton::clicked, this, &registrationDialog::retryRequested);
    connect(quitButton, &QPushButton::clicked, this, &registrationDialog::quitRequested);
}

void registrationDialog::showStillMissing()
{
    m_statusLabel->setText(QStringLiteral("The account for this User ID is not active yet. "
                                          "Please try again after support has confirmed it."));
}

void registrationDialog::reject()
{
    emit quitRequested();
}

void registrationDialog::copyUserId()
{
    QGuiApplication::clipboard()->setText(m_userIdEdit->text());
    m_statusLabel->setText(QStringLiteral("User ID copied to the clipboard."));
}
