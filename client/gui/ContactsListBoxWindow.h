#pragma once

#include <QListView>
#include <memory>
#include <string>

class ContactItemDelegate;
class ContactListModel;
class IChatControl;
class LumoraContact;

// The owner-drawn list of contacts (ContactItemDelegate draws each entry). A tap selects
// the contact (tapped); a right click, the menu key or a long touch selects the contact under
// it, or clears the selection on empty space, and asks for the context menu. The selection
// stays with its contact while entries come, go and move. Ticks of the controller's timer
// make the entries of contacts with unread messages blink.
class ContactsListBoxWindow : public QListView {
    Q_OBJECT
public:
    static constexpr int BLINK_TICKS = 5;

    ContactsListBoxWindow(IChatControl& chats, bool highResolution, QWidget* parent);

    // Adds an entry for the contact. An entry without a text (no name, no id) is not added
    // and logged; a null contact throws kestra::NullPointerException.
    bool addStringAndData(const std::shared_ptr<LumoraContact>& contact);
    void removeContact(const std::wstring& jid);
    void contactChanged(const std::wstring& jid);
    void setFilter(const QString& text);

    ContactListModel& contacts() const { return *model_; }
    // The selected contact, or null.
    std::shared_ptr<LumoraContact> selectedContact() const;
    void selectContact(const std::wstring& jid);
    void onTick();
    bool blinkPhase() const;

signals:
    void tapped(const std::shared_ptr<LumoraContact>& contact, const QRect& entry);
    void contextMenuWanted(const std::shared_ptr<LumoraContact>& selected, const QPoint& globalPos);
    void chatWanted(const std::shared_ptr<LumoraContact>& contact);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void askForMenuAt(const QPoint& viewportPos, const QPoint& globalPos);
    void keepSelection();
    void restoreSelection();

    IChatControl& chats_;
    ContactListModel* model_;
    ContactItemDelegate* delegate_;
    std::wstring selectedJid_;
    int ticks_ = 0;
};
