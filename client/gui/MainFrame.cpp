#include "client/gui/MainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "client/app/ApplicationMessages.h"
#include "client/app/IApplicationManager.h"
#include "client/app/IChatWindow.h"
#include "client/app/IGuiFactory.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/Artwork.h"
#include "client/gui/PopupPlacement.h"
#include "client/gui/ScreenResolution.h"
#include "client/gui/SleepInhibitor.h"
#include "client/gui/StatusButton.h"
#include "client/gui/UiText.h"
#include "client/gui/WindowFront.h"
#include "kestra/Log.h"

using kestra::Log;

namespace {
bool isOnlineStatus(int status) {
    return status >= 0 && status <= 6;
}

// 960 x 680 where the screen has room for it, else nine tenths of the screen.
QSize startSize(const QScreen* screen) {
    QSize size(960, 680);
    if (screen != nullptr) {
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    }
    return size;
}
}  // namespace

MainFrame::MainFrame(IApplicationManager& controller, IGuiFactory& factory)
    : controller_(controller),
      factory_(factory),
      high_(ScreenResolution::isHighFor(nullptr)),
      reconnectTimer_(new QTimer(this)),
      inhibitor_(new SleepInhibitor(this)) {
    setObjectName(WINDOW_CLASS);
    setWindowTitle(QStringLiteral("Lumora"));
    setWindowIcon(Artwork::icon(QStringLiteral("lumora"), 64));
    reconnectTimer_->setSingleShot(true);
    connect(reconnectTimer_, &QTimer::timeout, this, &MainFrame::onReconnectTimer);
    createBar();
    resize(startSize(QGuiApplication::primaryScreen()));
}

MainFrame::~MainFrame() = default;

QToolButton* MainFrame::addBarButton(const QString& name, const QString& label) {
    auto* button = new QToolButton(bar_);
    button->setObjectName(name);
    button->setText(label);
    button->setToolTip(label);
    button->setAccessibleName(label);
    button->setAutoRaise(true);
    const int size = ScreenResolution::barIconSize(high_);
    button->setIconSize(QSize(size, size));
    return button;
}

// The bar lies at the bottom, as on a handheld: the popups open above their buttons.
void MainFrame::createBar() {
    bar_ = new QToolBar(this);
    bar_->setObjectName(QStringLiteral("commandBar"));
    bar_->setMovable(false);
    bar_->setFloatable(false);
    bar_->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::BottomToolBarArea, bar_);

    menuButton_ = addBarButton(QStringLiteral("menuButton"), uiText("Menu"));
    menuButton_->setIcon(
        Artwork::icon(QStringLiteral("menu"), ScreenResolution::barIconSize(high_)));
    menuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar_->addWidget(menuButton_);
    createMenu();

    statusButton_ = new StatusButton(high_, bar_);
    bar_->addWidget(statusButton_);
    connect(statusButton_, &StatusButton::statusChosen, this, &MainFrame::chooseStatus);

    auto* spacer = new QWidget(bar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar_->addWidget(spacer);

    messagesButton_ = addBarButton(QStringLiteral("messagesButton"), uiText("New messages"));
    messagesButton_->setIcon(
        Artwork::icon(QStringLiteral("messages"), ScreenResolution::barIconSize(high_)));
    messagesEntry_ = bar_->addWidget(messagesButton_);
    messagesEntry_->setVisible(false);  // shown while unread messages wait
    connect(messagesButton_, &QToolButton::clicked, this, &MainFrame::onMessagesButton);

    gpsButton_ = addBarButton(QStringLiteral("gpsButton"), uiText("GPS"));
    bar_->addWidget(gpsButton_);
    connect(gpsButton_, &QToolButton::clicked, this, &MainFrame::onGpsButton);
    showGpsState(1);
}

void MainFrame::createMenu() {
    mainMenu_ = new QMenu(this);
    mainMenu_->setObjectName(QStringLiteral("mainMenu"));
    connect(menuButton_, &QToolButton::clicked, this,
            [this] { popupAbove(*mainMenu_, *menuButton_); });
    connect(mainMenu_->addAction(uiText("Find users")), &QAction::triggered, this,
            [this] { controller_.postMessage(UM_SHOW_SEARCH); });
    settingsEntry_ = mainMenu_->addAction(uiText("Settings"));
    settingsEntry_->setEnabled(false);  // until there is an options window
    connect(settingsEntry_, &QAction::triggered, this, [this] {
        controller_.updateProfileTab();
        if (optionsWindow_) {
            bringWindowToFront(*optionsWindow_);
        }
    });
    connect(mainMenu_->addAction(uiText("Satellites")), &QAction::triggered, this, [this] {
        if (satellitesWindow_) {
            bringWindowToFront(*satellitesWindow_);
        }
    });
    connect(mainMenu_->addAction(uiText("About Lumora")), &QAction::triggered, this,
            [this] { controller_.postMessage(UM_SHOW_ABOUT); });
    mainMenu_->addSeparator();
    QAction* exit = mainMenu_->addAction(uiText("Exit"));
    exit->setData(EXIT_COMMAND);
    connect(exit, &QAction::triggered, this, [this] {
        reconnectTimer_->stop();
        controller_.quit();
    });
}

void MainFrame::setOptionsWindow(QWidget* window) {
    optionsWindow_ = window;
    settingsEntry_->setEnabled(window != nullptr);
}

int MainFrame::shownStatus() const {
    return statusButton_->shownStatus();
}

bool MainFrame::isReconnectPending() const {
    return reconnectTimer_->isActive();
}

void MainFrame::chooseStatus(int status) {
    reconnectTimer_->stop();
    const int shown = shownStatus();
    if (status == shown || (shown == 8 && status != 7)) {
        return;
    }
    if (isOnlineStatus(status)) {
        lastOnlineChoice_ = status;
    }
    statusButton_->display(shown == 7 && status != 7 ? 8 : status);
    controller_.postMessage(UM_CHANGE_STATUS, status);
}

void MainFrame::showConnectionStatus(int status) {
    statusButton_->display(status);
}

void MainFrame::reconnect(int status, int delayMs) {
    reconnectStatus_ = status;
    reconnectTimer_->start(qMax(0, delayMs));
}

// Signs in again only from offline: a frame that is connecting or online by then has what
// the reconnect was for.
void MainFrame::onReconnectTimer() {
    if (shownStatus() != 7) {
        Log::debug("MainFrame: no reconnect, the status is " + std::to_string(shownStatus()) + ".");
        return;
    }
    const int status = isOnlineStatus(reconnectStatus_) ? reconnectStatus_ : lastOnlineChoice_;
    Log::info("MainFrame: signing in again with status " + std::to_string(status) + ".");
    statusButton_->display(8);
    controller_.postMessage(UM_CHANGE_STATUS, status);
}

void MainFrame::onGpsButton() {
    showGpsState(controller_.switchGPS());
}

void MainFrame::showGpsState(int state) {
    static const char* const pictures[] = {"gps-fix", "gps-off", "gps-searching"};
    static const char* const tips[] = {"GPS: position found", "GPS: off",
                                       "GPS: searching for satellites"};
    if (state < 0 || state > 2) {
        Log::error("MainFrame::OnChangeGPSState SendMessage menu TB_SETBUTTONINFO failed.");
        return;
    }
    gpsButton_->setIcon(
        Artwork::icon(QString::fromLatin1(pictures[state]), ScreenResolution::barIconSize(high_)));
    gpsButton_->setToolTip(uiText(tips[state]));
    gpsButton_->setProperty("gpsState", state);
}

void MainFrame::onMessagesButton() {
    if (!controller_.hasUnreadMessages()) {
        return;
    }
    std::shared_ptr<LumoraContact> contact = controller_.getFirstContactFromMessageMap();
    if (!contact) {
        Log::error("MainFrame::onButtonMessages: contact != NULL.");
        return;
    }
    controller_.postMessage(UM_OPEN_CHAT, 0, 0, kestra::makePayload(contact));
}

void MainFrame::onTick() {
    statusButton_->advanceAnimation();
    if (++ticks_ % BLINK_TICKS == 0) {
        blinkMessagesButton();
    }
}

// Shown with its two pictures in turn while messages wait (a period of ten ticks), hidden
// otherwise.
void MainFrame::blinkMessagesButton() {
    if (!controller_.hasUnreadMessages()) {
        setMessagesButtonShown(false);
        return;
    }
    setMessagesButtonShown(true);
    blinkPhase_ = !blinkPhase_;
    const QString picture =
        blinkPhase_ ? QStringLiteral("messages-blink") : QStringLiteral("messages");
    const QIcon icon = Artwork::icon(picture, ScreenResolution::barIconSize(high_));
    if (icon.isNull()) {
        Log::error("MainFrame::onTick SendMessage menu TB_SETBUTTONINFO failed.");
        return;
    }
    messagesButton_->setIcon(icon);
    messagesButton_->setProperty("blinkPhase", blinkPhase_);
}

void MainFrame::setMessagesButtonShown(bool shown) {
    if (messagesEntry_->isVisible() != shown) {
        messagesEntry_->setVisible(shown);
    }
    if (!shown) {
        blinkPhase_ = false;
    }
}

void MainFrame::createChatWindow(const std::shared_ptr<LumoraContact>& contact) {
    if (!contact) {
        Log::error("ApplicationManager::onNewChatSession contact == NULL.");
        return;
    }
    std::unique_ptr<IChatWindow> window = factory_.createChatWindow(controller_, contact);
    if (!window) {
        Log::error(
            "ApplicationManager::onNewChatSession false == "
            "GuiFactory::createWindowInstance(chatDlg).");
        return;
    }
    controller_.registerChatWindow(std::move(window), contact->getJid());
    bringToFront();
}

void MainFrame::showAuthorizationRequest(const std::wstring& jid, const std::wstring& text) {
    if (jid.empty() || !asking_.insert(jid).second) {
        return;
    }
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("authorizationAnswer"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(uiText("Authorization request"));
    box->setIcon(QMessageBox::Question);
    QString question = QString::fromStdWString(jid) + QLatin1Char(' ') +
                       uiText("asks to add you to the contact list. Allow?");
    if (!text.empty()) {
        question += QStringLiteral("\n\n") + QString::fromStdWString(text);
    }
    box->setText(question);
    QPushButton* allow = box->addButton(uiText("Allow"), QMessageBox::AcceptRole);
    allow->setObjectName(QStringLiteral("allowButton"));
    QPushButton* deny = box->addButton(uiText("Deny"), QMessageBox::RejectRole);
    deny->setObjectName(QStringLiteral("denyButton"));
    box->setEscapeButton(deny);
    connect(box, &QMessageBox::buttonClicked, this,
            [this, box, allow, jid](QAbstractButton* button) {
                asking_.erase(jid);
                controller_.postMessage(UM_AUTHORIZATION_ANSWER, 0, button == allow ? 1 : 0,
                                        kestra::makePayload(jid));
                box->close();
            });
    box->setModal(false);
    box->show();
}

void MainFrame::setNoSleep(bool on) {
    inhibitor_->setEnabled(on);
}

// The previous cursor comes back afterwards.
void MainFrame::showMapLoading(bool loading) {
    if (loading == loading_) {
        return;
    }
    loading_ = loading;
    if (loading) {
        savedCursor_ = cursor();
        setCursor(Qt::WaitCursor);
    } else {
        setCursor(savedCursor_);
    }
}

void MainFrame::bringToFront() {
    bringWindowToFront(*this);
}

void MainFrame::closeEvent(QCloseEvent* event) {
    reconnectTimer_->stop();
    event->accept();
    QCoreApplication::quit();
}
