#pragma once
// One instance per user: the first instance's main window listens on a per-user
// local socket named after the instance marker; a later start finds it there and
// hands over its page addresses.
//
// The exchange is lines of UTF-8: "open <address>" for each address, then
// "activate"; the instance answers "shown" once it has taken them. Only a process of
// the same user may talk to it, a line is at most kMaxRequestLine bytes and a start
// hands over at most kMaxHandedAddresses; anything else ends the connection.

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace tamsel {

inline constexpr const char* kInstanceMarker = "{271B7AE0-FEE3-47f0-AD9D-006752E3944D}";
inline constexpr int kMaxRequestLine = 8192;
inline constexpr int kMaxHandedAddresses = 1000;

// The per-user socket name derived from the marker.
QString InstanceSocketName();

// Hands `addresses` to a running instance and asks it to show its main window. True
// when one answered; false when none runs (also when only a stale socket of a
// crashed one is left, or another user's program holds the name).
bool HandToRunningInstance(const QStringList& addresses);
inline bool ActivateRunningInstance() {
    return HandToRunningInstance({});
}

// The marker itself: held by the main window for its whole life.
class CInstanceMarker : public QObject {
    Q_OBJECT
public:
    explicit CInstanceMarker(QObject* parent = nullptr);
    ~CInstanceMarker() override;
    // Starts listening; a socket left behind by a crashed instance is replaced.
    bool Set();

Q_SIGNALS:
    // The addresses of one later start, before its ActivateRequested.
    void AddressesReceived(const QStringList& addresses);
    void ActivateRequested();

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    QLocalServer* m_server;
};

}  // namespace tamsel
