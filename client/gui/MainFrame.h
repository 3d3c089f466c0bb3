#pragma once

#include <QCursor>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <set>
#include <string>

class IApplicationManager;
class IGuiFactory;
class LumoraContact;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class SleepInhibitor;
class StatusButton;

// The top-level window. Its bottom bar holds the "Menu" popup ("Find users", "Settings",
// "Satellites", "About Lumora", "Exit"), the status button with its popup of presence
// states, the messages button (shown, blinking, while unread messages wait) and the GPS
// button. Its client area is the splitter with the map view and the contact pane. It makes
// the chat windows on the controller's request, signs in again when the controller asks it
// to (the reconnect timer), keeps the screen on while the no-sleep switch is on, and shows
// the wait cursor while the tile source changes. Closing it ends the GUI loop, which ends
// the program.
//
// The status rules: a choice stops the reconnect timer; the shown status again changes
// nothing; while connecting (8) only "Offline" is taken; a choice of an online status while
// offline shows "Connecting..." until the session reports the result. Every choice taken is
// posted as UM_CHANGE_STATUS ("Invisible" as 6).
class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* WINDOW_CLASS = "KestraLumoraAppWnd";
    static constexpr int GPS_COMMAND = 1005;
    static constexpr int STATUS_COMMAND = 1017;
    static constexpr int EXIT_COMMAND = 57665;
    // The messages button blinks every this many ticks of the controller's timer.
    static constexpr int BLINK_TICKS = 5;

    MainFrame(IApplicationManager& controller, IGuiFactory& factory);
    ~MainFrame() override;

    // The controller's operations (through MainFrameProxy).
    void bringToFront();
    void showConnectionStatus(int status);
    void showGpsState(int state);
    void createChatWindow(const std::shared_ptr<LumoraContact>& contact);
    // Asks the user whether the JID may add them; the answer goes to the controller as
    // UM_AUTHORIZATION_ANSWER. One question per JID at a time.
    void showAuthorizationRequest(const std::wstring& jid, const std::wstring& text);
    void reconnect(int status, int delayMs);
    void setNoSleep(bool on);
    void showMapLoading(bool loading);
    void onTick();

    // The windows the menu shows (made after the frame).
    void setSatellitesWindow(QWidget* window) { satellitesWindow_ = window; }
    void setOptionsWindow(QWidget* window);

    // The user chose a status in the status popup.
    void chooseStatus(int status);
    int shownStatus() const;
    bool isHighResolution() const { return high_; }
    bool isReconnectPending() const;

    QToolButton* menuButton() const { return menuButton_; }
    QMenu* mainMenu() const { return mainMenu_; }
    StatusButton* statusButton() const { return statusButton_; }
    QToolButton* gpsButton() const { return gpsButton_; }
    QToolButton* messagesButton() const { return messagesButton_; }
    SleepInhibitor& sleepInhibitor() const { return *inhibitor_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QToolButton* addBarButton(const QString& name, const QString& text);
    void createBar();
    void createMenu();
    void onGpsButton();
    void onMessagesButton();
    void onReconnectTimer();
    void blinkMessagesButton();
    void setMessagesButtonShown(bool shown);

    IApplicationManager& controller_;
    IGuiFactory& factory_;
    const bool high_;
    QToolBar* bar_ = nullptr;
    QToolButton* menuButton_ = nullptr;
    QMenu* mainMenu_ = nullptr;
    QAction* settingsEntry_ = nullptr;
    StatusButton* statusButton_ = nullptr;
    QToolButton* gpsButton_ = nullptr;
    QToolButton* messagesButton_ = nullptr;
    QAction* messagesEntry_ = nullptr;
    QTimer* reconnectTimer_ = nullptr;
    SleepInhibitor* inhibitor_ = nullptr;
    QPointer<QWidget> satellitesWindow_;
    QPointer<QWidget> optionsWindow_;

    int reconnectStatus_ = 0;
    // The online status the user chose last; signing in again uses it.
    int lastOnlineChoice_ = 0;
    int ticks_ = 0;
    bool blinkPhase_ = false;
    bool loading_ = false;
    QCursor savedCursor_;
    // The JIDs whose authorisation question is open.
    std::set<std::wstring> asking_;
};
