#pragma once

#include <QDBusConnection>
#include <QString>

#include "TestSupport.h"

// A D-Bus daemon of the test's own (dbus-daemon on a socket in a temporary folder), so the
// desktop services a window talks to can be played by the test. Stopped at the end.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return running_; }
    QString address() const { return address_; }
    // A connection of its own to the bus under that name.
    QDBusConnection connect(const QString& name) const;

private:
    testsupport::TempDir dir_;
    testsupport::ChildProcess daemon_;
    QString address_;
    bool running_ = false;
};
