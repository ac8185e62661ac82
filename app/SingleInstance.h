#pragma once
// One instance per user: the first instance's main window listens on a per-user
// local socket named after the instance marker; a later start finds it there.

#include <QObject>
#include <QString>

class QLocalServer;

namespace tamsel {

inline constexpr const char* kInstanceMarker = "{271B7AE0-FEE3-47f0-AD9D-006752E3944D}";

// The per-user socket name derived from the marker.
QString InstanceSocketName();

// Asks a running instance to show its main window. True when one answered;
// false when none runs (also when only a stale socket of a crashed one is left).
bool ActivateRunningInstance();

// The marker itself: held by the main window for its whole life.
class CInstanceMarker : public QObject {
    Q_OBJECT
public:
    explicit CInstanceMarker(QObject* parent = nullptr);
    ~CInstanceMarker() override;
    // Starts listening; a socket left behind by a crashed instance is replaced.
    bool Set();

Q_SIGNALS:
    void ActivateRequested();

private:
    void OnNewConnection();
    QLocalServer* m_server;
};

}  // namespace tamsel
