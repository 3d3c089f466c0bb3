#include "client/gui/SleepInhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "client/gui/UiText.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {
const QString APPLICATION = QStringLiteral("Lumora");
// GNOME's flags: 4 suspend, 8 idle.
constexpr quint32 GNOME_SUSPEND_AND_IDLE = 4 | 8;

QString reason() {
    return uiText("Lumora keeps the map on screen");
}

QDBusMessage call(const char* service, const QString& path, const QString& method) {
    return QDBusMessage::createMethodCall(QString::fromLatin1(service), path,
                                          QString::fromLatin1(service), method);
}
}  // namespace

SleepInhibitor::SleepInhibitor(QObject* parent)
    : SleepInhibitor([] { return QDBusConnection::sessionBus(); },
                     [] { return QDBusConnection::systemBus(); }, parent) {}

SleepInhibitor::SleepInhibitor(Bus sessionBus, Bus systemBus, QObject* parent)
    : QObject(parent), sessionBus_(std::move(sessionBus)), systemBus_(std::move(systemBus)) {}

SleepInhibitor::~SleepInhibitor() {
    enabled_ = false;
    ++generation_;
    release();
}

void SleepInhibitor::setBuses(Bus sessionBus, Bus systemBus) {
    sessionBus_ = std::move(sessionBus);
    systemBus_ = std::move(systemBus);
}

void SleepInhibitor::setEnabled(bool on) {
    if (on == enabled_) {
        return;
    }
    enabled_ = on;
    ++generation_;
    if (on) {
        request();
    } else {
        release();
        Log::info("MainFrame: the screen may sleep again.");
        emit changed();
    }
}

QStringList SleepInhibitor::held() const {
    QStringList services;
    if (cookieService_ != nullptr) {
        services << QString::fromLatin1(cookieService_);
    }
    if (loginLock_.isValid()) {
        services << QString::fromLatin1(LOGIN);
    }
    return services;
}

void SleepInhibitor::request() {
    askScreenSaver();
    askLogin();
    if (pending_ == 0) {
        Log::info(
            "MainFrame: no desktop service keeps the screen on (no D-Bus); the no-sleep switch "
            "has no effect here.");
    }
}

void SleepInhibitor::release() {
    if (cookieService_ != nullptr) {
        dropCookie(cookieService_, cookie_);
        cookieService_ = nullptr;
    }
    if (loginLock_.isValid()) {
        loginLock_ = QDBusUnixFileDescriptor();  // closing our copy lets go
    }
}

// Sends the call and hands its answer over on the GUI loop; current tells whether the
// switch is still as it was when the call went out.
void SleepInhibitor::expect(
    const QDBusPendingCall& call,
    const std::function<void(const QDBusPendingCall&, bool current)>& onAnswer) {
    ++pending_;
    const int generation = generation_;
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation, onAnswer](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                onAnswer(*finished, generation == generation_ && enabled_);
                answered();
            });
}

void SleepInhibitor::answered() {
    --pending_;
    if (pending_ == 0 && enabled_ && held().isEmpty()) {
        Log::info(
            "MainFrame: no desktop service keeps the screen on; the no-sleep switch has no "
            "effect here.");
    }
    emit changed();
}

void SleepInhibitor::askScreenSaver() {
    QDBusConnection bus = sessionBus_();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage message = call(SCREEN_SAVER, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                QStringLiteral("Inhibit"));
    message << APPLICATION << reason();
    expect(bus.asyncCall(message), [this](const QDBusPendingCall& answer, bool current) {
        QDBusPendingReply<quint32> reply(answer);
        if (reply.isError()) {
            if (current) {
                askGnomeSession();
            }
            return;
        }
        if (!current || cookieService_ != nullptr) {
            dropCookie(SCREEN_SAVER, reply.value());
            return;
        }
        cookieService_ = SCREEN_SAVER;
        cookie_ = reply.value();
        Log::info("MainFrame: the screen is kept on (org.freedesktop.ScreenSaver).");
    });
}

void SleepInhibitor::askGnomeSession() {
    QDBusConnection bus = sessionBus_();
    QDBusMessage message =
        call(GNOME_SESSION, QStringLiteral("/org/gnome/SessionManager"), QStringLiteral("Inhibit"));
    message << APPLICATION << quint32(0) << reason() << GNOME_SUSPEND_AND_IDLE;
    expect(bus.asyncCall(message), [this](const QDBusPendingCall& answer, bool current) {
        QDBusPendingReply<quint32> reply(answer);
        if (reply.isError()) {
            return;
        }
        if (!current || cookieService_ != nullptr) {
            dropCookie(GNOME_SESSION, reply.value());
            return;
        }
        cookieService_ = GNOME_SESSION;
        cookie_ = reply.value();
        Log::info("MainFrame: the screen is kept on (org.gnome.SessionManager).");
    });
}

// "idle" keeps the system from suspending when it is left alone; a suspend the user asks
// for still happens.
void SleepInhibitor::askLogin() {
    QDBusConnection bus = systemBus_();
    if (!bus.isConnected() ||
        !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(LOGIN), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    message << QStringLiteral("idle") << APPLICATION << reason() << QStringLiteral("block");
    expect(bus.asyncCall(message), [this](const QDBusPendingCall& answer, bool current) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply(answer);
        if (reply.isError() || !current) {
            return;  // an unwanted descriptor closes with the reply
        }
        loginLock_ = reply.value();
        Log::info("MainFrame: the computer is kept awake (org.freedesktop.login1).");
    });
}

void SleepInhibitor::dropCookie(const char* service, quint32 cookie) {
    QDBusConnection bus = sessionBus_();
    if (!bus.isConnected()) {
        return;
    }
    const bool gnome = QLatin1String(service) == QLatin1String(GNOME_SESSION);
    QDBusMessage message = gnome
                               ? call(GNOME_SESSION, QStringLiteral("/org/gnome/SessionManager"),
                                      QStringLiteral("Uninhibit"))
                               : call(SCREEN_SAVER, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                      QStringLiteral("UnInhibit"));
    message << cookie;
    bus.call(message, QDBus::NoBlock);
}
