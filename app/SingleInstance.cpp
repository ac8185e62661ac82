#include "app/SingleInstance.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace tamsel {

namespace {
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAnswerTimeoutMs = 3000;
const QByteArray kOpenPrefix = "open ";
const QByteArray kActivateRequest = "activate\n";
const QByteArray kActivateAnswer = "shown\n";
const char* const kPendingProperty = "tamselAddresses";

// The other end of a connected local socket runs as this user.
bool PeerIsThisUser(const QLocalSocket& socket) {
    const qintptr fd = socket.socketDescriptor();
    if (fd < 0) {
        return false;
    }
    struct ucred peer = {};
    socklen_t size = sizeof(peer);
    if (getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        size != sizeof(peer)) {
        return false;
    }
    return peer.uid == getuid();
}
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

bool HandToRunningInstance(const QStringList& addresses) {
    QLocalSocket socket;
    socket.connectToServer(InstanceSocketName());
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    // Addresses go to nobody but this user's own instance.
    if (!PeerIsThisUser(socket)) {
        return false;
    }
    QByteArray request;
    int handed = 0;
    for (const QString& address : addresses) {
        const QByteArray line = kOpenPrefix + address.toUtf8() + '\n';
        // A line break inside would split the address; it could not be valid anyway.
        if (address.contains(QLatin1Char('\n')) || address.contains(QLatin1Char('\r')) ||
            line.size() > kMaxRequestLine || handed == kMaxHandedAddresses) {
            continue;
        }
        request += line;
        ++handed;
    }
    request += kActivateRequest;
    socket.write(request);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    // The answer only tells that the addresses were taken and the window shown; a
    // running instance counts either way.
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
        if (!PeerIsThisUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(kMaxRequestLine * 2);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0) {
            OnReadyRead(socket);
        }
    }
}

void CInstanceMarker::OnReadyRead(QLocalSocket* socket) {
    QStringList pending = socket->property(kPendingProperty).toStringList();
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequestLine + 1);
        if (line == kActivateRequest) {
            socket->setProperty(kPendingProperty, QVariant());
            if (!pending.isEmpty()) {
                Q_EMIT AddressesReceived(pending);
            }
            Q_EMIT ActivateRequested();
            socket->write(kActivateAnswer);
            socket->flush();
            return;
        }
        if (!line.endsWith('\n') || !line.startsWith(kOpenPrefix) ||
            pending.size() >= kMaxHandedAddresses) {
            socket->abort();  // not our client: nothing it sent is taken
            socket->deleteLater();
            return;
        }
        pending << QString::fromUtf8(line.mid(kOpenPrefix.size()).chopped(1));
    }
    // A line longer than the limit never ends within the buffer.
    if (socket->bytesAvailable() > kMaxRequestLine) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->setProperty(kPendingProperty, pending);
}

}  // namespace tamsel
