#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// Probes the connection target without holding up the event loop: one TCP connect at a time,
// given up after the probe wait, the next one a full period after the previous one ended.
class ConnectionMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionMonitor)

public:
    explicit ConnectionMonitor(QObject *parent = nullptr);

    // Arms the first probe one period from now; nothing while a probe runs.
    void start();

    // Started: a probe runs or the next one is armed.
    [[nodiscard]] bool isActive() const;
    [[nodiscard]] bool isProbing() const;
    // Milliseconds until the next probe; -1 while a probe runs or before start().
    [[nodiscard]] int remainingTime() const;

public slots:
    // Probes at once, unless a probe already runs.
    void probe();

signals:
    // One of the two texts of ConnectionProbe::statusText(), once per finished probe.
    void statusChanged(const QString &text);

private slots:
    void socketStateChanged(QAbstractSocket::SocketState state);
    void giveUp();

private:
    void finish(bool connected);

    QTimer *m_period = nullptr;
    QTimer *m_wait = nullptr;
    QTcpSocket *m_socket = nullptr;
};
