#include "vendor/connectionmonitor.h"

#include "app/config.h"
#include "vendor/connectionprobe.h"

#include <QTcpSocket>
#include <QTimer>

#include <utility>

ConnectionMonitor::ConnectionMonitor(QObject *parent)
    : QObject(parent)
    , m_period(new QTimer(this))
    , m_wait(new QTimer(this))
{
    // Single shots: the period is counted from the end of a probe, so probes never overlap.
    for (QTimer *timer : {m_period, m_wait}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    m_period->setInterval(ConnectionProbe::IntervalMs);
    m_wait->setInterval(ConnectionProbe::WaitMs);
    connect(m_period, &QTimer::timeout, this, &ConnectionMonitor::probe);
    connect(m_wait, &QTimer::timeout, this, &ConnectionMonitor::giveUp);
}

void ConnectionMonitor::start()
{
    if (!m_socket)
        m_period->start();
}

bool ConnectionMonitor::isActive() const
{
    return m_socket || m_period->isActive();
}

bool ConnectionMonitor::isProbing() const
{
    return m_socket != nullptr;
}

int ConnectionMonitor::remainingTime() const
{
    return m_period->remainingTime();
}

void ConnectionMonitor::probe()
{
    if (m_socket)
        return;
    m_period->stop();

    m_socket = new QTcpSocket(this);
    // The state alone tells both ends apart and exists in every Qt 5 (errorOccurred came in 5.15).
    connect(m_socket, &QAbstractSocket::stateChanged, this, &ConnectionMonitor::socketStateChanged);
    m_wait->start();
    m_socket->connectToHost(Config::instance().probeHost(), Config::instance().probePort(),
                            QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void ConnectionMonitor::socketStateChanged(QAbstractSocket::SocketState state)
{
    if (state == QAbstractSocket::ConnectedState)
        finish(true);
    else if (state == QAbstractSocket::UnconnectedState)
        finish(false);
}

void ConnectionMonitor::giveUp()
{
    finish(false);
}

void ConnectionMonitor::finish(bool connected)
{
    if (!m_socket)
        return;
    m_wait->stop();
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    // Drops the connection, or the attempt still under way.
    socket->abort();
    socket->deleteLater();

    m_period->start();
    emit statusChanged(ConnectionProbe::statusText(connected));
}
