#pragma once

#include <QAbstractListModel>
#include <memory>
#include <string>
#include <vector>

class LumoraContact;

// The entries of the contact list: one per contact, the online part first and the offline
// part (statuses 6 and 7) after it, each in the order of the contacts' names. A filter text
// narrows what is shown to the contacts whose name, nick, user id or e-mail address holds
// it (case does not matter); the entries themselves stay.
class ContactListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        ContactRole = Qt::UserRole + 1,  // the LumoraContact*, valid while the entry is
        StatusRole,
        OfflineRole,
        FirstOfflineRole,  // the first entry shown of the offline part
        JidRole,
    };

    explicit ContactListModel(QObject* parent = nullptr);
    ~ContactListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Adds the contact in its place (in place of an entry with the same JID).
    void add(const std::shared_ptr<LumoraContact>& contact);
    // False when no entry has the JID.
    bool remove(const std::wstring& jid);
    // The contact's status or name changed: it moves to its place.
    void changed(const std::wstring& jid);
    void setFilter(const QString& text);
    QString filter() const { return filter_; }

    std::shared_ptr<LumoraContact> contactAt(const QModelIndex& index) const;
    QModelIndex indexOf(const std::wstring& jid) const;
    // All entries, whatever the filter shows.
    int entryCount() const { return static_cast<int>(entries_.size()); }

private:
    bool matches(const LumoraContact& contact) const;
    // Orders the entries and applies the filter; the views are told the list was reset.
    void rebuild();

    std::vector<std::shared_ptr<LumoraContact>> entries_;
    std::vector<std::size_t> shown_;  // the entries shown, by their index
    QString filter_;
};
