#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QStringList>
#include <functional>

class QDBusPendingCall;

// Keeps the screen on and the computer awake while it is on, through the desktop's
// standard inhibit services on D-Bus:
//   - org.freedesktop.ScreenSaver on the session bus (screen blanking and idle), or where
//     only GNOME's session manager answers, org.gnome.SessionManager (idle and suspend);
//   - org.freedesktop.login1 on the system bus (suspend on idle), held as a file
//     descriptor that is closed to let go.
// Whatever is missing is left out; when nothing answers, one log line says so and the
// program goes on as before.
//
// States: off -> asking (calls sent, answers pending) -> on (what answered is held) ->
// off (all released). An answer that arrives after the switch changed again is released at
// once. Calls never block: answers come back through the GUI loop. GUI thread only.
class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    using Bus = std::function<QDBusConnection()>;

    static constexpr const char* SCREEN_SAVER = "org.freedesktop.ScreenSaver";
    static constexpr const char* GNOME_SESSION = "org.gnome.SessionManager";
    static constexpr const char* LOGIN = "org.freedesktop.login1";

    // The user's session bus and the system bus, connected when first needed.
    explicit SleepInhibitor(QObject* parent = nullptr);
    SleepInhibitor(Bus sessionBus, Bus systemBus, QObject* parent = nullptr);
    ~SleepInhibitor() override;

    // Other buses from now on (a switch that is on asks them when it is next switched on).
    void setBuses(Bus sessionBus, Bus systemBus);
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }
    // The services that hold an inhibitor for us now.
    QStringList held() const;
    // No answer is outstanding.
    bool isSettled() const { return pending_ == 0; }

signals:
    // An inhibitor was taken or released, or the last answer came in.
    void changed();

private:
    void request();
    void release();
    void askScreenSaver();
    void askGnomeSession();
    void askLogin();
    void expect(const QDBusPendingCall& call,
                const std::function<void(const QDBusPendingCall&, bool current)>& onAnswer);
    void answered();
    void dropCookie(const char* service, quint32 cookie);

    Bus sessionBus_;
    Bus systemBus_;
    bool enabled_ = false;
    // Counts the switch's changes, so an answer can tell whether it is still wanted.
    int generation_ = 0;
    int pending_ = 0;
    // The cookie of the screen saver or session manager inhibitor (which service holds it).
    const char* cookieService_ = nullptr;
    quint32 cookie_ = 0;
    QDBusUnixFileDescriptor loginLock_;
};
