#include "app/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace tamsel {

namespace {
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAnswerTimeoutMs = 3000;
const QByteArray kActivateRequest = "activate\n";
const QByteArray kActivateAnswer = "shown\n";
}  // namespace

QString InstanceSocketName() {
    // The user's runtime folder is private to the user; without one, the name carries
    // the user id so that users do not meet.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + QLatin1Char('/') + QString::fromLatin1(kInstanceMarker);
    }
    return QString::fromLatin1(kInstanceMarker) + QLatin1Char('-') +
           QString::number(static_cast<qulonglong>(getuid()));
}

bool ActivateRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketName());
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(kActivateRequest);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    // The answer only tells that the window was shown; a running instance counts either way.
    while (socket.bytesAvailable() < kActivateAnswer.size() &&
           socket.waitForReadyRead(kAnswerTimeoutMs)) {
    }
    socket.disconnectFromServer();
    return true;
}

CInstanceMarker::CInstanceMarker(QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceMarker::OnNewConnection);
}

CInstanceMarker::~CInstanceMarker() {
    m_server->close();
}

bool CInstanceMarker::Set() {
    const QString name = InstanceSocketName();
    if (m_server->listen(name)) {
        return true;
    }
    // Nobody answers on the name: a crashed instance left its socket behind.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void CInstanceMarker::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            if (socket->readLine() == kActivateRequest) {
                Q_EMIT ActivateRequested();
                socket->write(kActivateAnswer);
                socket->flush();
            }
        });
    }
}

}  // namespace tamsel
