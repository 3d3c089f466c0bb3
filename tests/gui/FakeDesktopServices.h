#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QStringList>
#include <vector>

// The desktop's inhibit services as a test plays them on its private bus; each records what
// it was asked.

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList inhibits;
    std::vector<uint> released;
    uint lastCookie = 40;

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        inhibits << application + QLatin1Char('|') + reason;
        return ++lastCookie;
    }
    void UnInhibit(uint cookie) { released.push_back(cookie); }
};

class FakeGnomeSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
public:
    std::vector<uint> flags;
    std::vector<uint> released;

public slots:
    uint Inhibit(const QString&, uint, const QString&, uint what) {
        flags.push_back(what);
        return 7;
    }
    void Uninhibit(uint cookie) { released.push_back(cookie); }
};

// Hands out the read end of a pipe, as logind hands out its inhibitor lock: the lock is held
// while any copy of it is open, which the write end it keeps can tell.
class FakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogin() override {
        for (int fd : writeEnds_) {
            ::close(fd);
        }
    }
    QStringList asked;
    // Whether the last lock handed out is still held by someone.
    bool lastLockHeld() const {
        if (writeEnds_.empty()) {
            return false;
        }
        pollfd check{writeEnds_.back(), POLLOUT, 0};
        return ::poll(&check, 1, 0) == 1 && (check.revents & POLLERR) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        asked << what + QLatin1Char('|') + who + QLatin1Char('|') + why + QLatin1Char('|') + mode;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return QDBusUnixFileDescriptor();
        }
        writeEnds_.push_back(ends[1]);
        QDBusUnixFileDescriptor lock(ends[0]);  // keeps a copy of its own
        ::close(ends[0]);
        return lock;
    }

private:
    std::vector<int> writeEnds_;
};
