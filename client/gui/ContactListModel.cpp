#include "client/gui/ContactListModel.h"

#include <algorithm>

#include "client/contacts/LumoraContact.h"
#include "client/gui/ContactLook.h"

namespace {
struct SortKey {
    bool offline;
    QString name;
    std::wstring jid;
};

SortKey keyOf(const LumoraContact& contact) {
    return {ContactLook::isOffline(contact.getStatus()),
            ContactLook::displayName(contact).toLower(), contact.getJid()};
}

bool before(const SortKey& a, const SortKey& b) {
    if (a.offline != b.offline) {
        return !a.offline;
    }
    const int order = QString::localeAwareCompare(a.name, b.name);
    return order != 0 ? order < 0 : a.jid < b.jid;
}
}  // namespace

ContactListModel::ContactListModel(QObject* parent) : QAbstractListModel(parent) {}

ContactListModel::~ContactListModel() = default;

int ContactListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant ContactListModel::data(const QModelIndex& index, int role) const {
    const std::shared_ptr<LumoraContact> contact = contactAt(index);
    if (!contact) {
        return QVariant();
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return ContactLook::displayName(*contact);
        case Qt::ToolTipRole:
            return QString::fromStdWString(contact->getJid());
        case ContactRole:
            return QVariant::fromValue(static_cast<void*>(contact.get()));
        case StatusRole:
            return contact->getStatus();
        case OfflineRole:
            return ContactLook::isOffline(contact->getStatus());
        case FirstOfflineRole: {
            const bool offline = ContactLook::isOffline(contact->getStatus());
            const std::shared_ptr<LumoraContact> previous = contactAt(this->index(index.row() - 1));
            return offline && previous && !ContactLook::isOffline(previous->getStatus());
        }
        case JidRole:
            return QString::fromStdWString(contact->getJid());
        default:
            return QVariant();
    }
}

void ContactListModel::add(const std::shared_ptr<LumoraContact>& contact) {
    const std::wstring jid = contact->getJid();
    const auto same = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const auto& entry) { return entry->getJid() == jid; });
    if (same != entries_.end()) {
        *same = contact;
    } else {
        entries_.push_back(contact);
    }
    rebuild();
}

bool ContactListModel::remove(const std::wstring& jid) {
    const auto end = std::remove_if(entries_.begin(), entries_.end(),
                                    [&](const auto& entry) { return entry->getJid() == jid; });
    if (end == entries_.end()) {
        return false;
    }
    entries_.erase(end, entries_.end());
    rebuild();
    return true;
}

void ContactListModel::changed(const std::wstring&) {
    rebuild();
}

void ContactListModel::setFilter(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == filter_) {
        return;
    }
    filter_ = trimmed;
    rebuild();
}

bool ContactListModel::matches(const LumoraContact& contact) const {
    if (filter_.isEmpty()) {
        return true;
    }
    const QString fields[] = {ContactLook::displayName(contact),
                              QString::fromStdWString(contact.getGid()),
                              QString::fromStdWString(contact.getFirstName()),
                              QString::fromStdWString(contact.getLastName()),
                              QString::fromStdWString(contact.getEmail())};
    return std::any_of(std::begin(fields), std::end(fields), [&](const QString& field) {
        return field.contains(filter_, Qt::CaseInsensitive);
    });
}

void ContactListModel::rebuild() {
    beginResetModel();
    std::vector<SortKey> keys;
    keys.reserve(entries_.size());
    for (const auto& entry : entries_) {
        keys.push_back(keyOf(*entry));
    }
    std::vector<std::size_t> order(entries_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return before(keys[a], keys[b]); });
    std::vector<std::shared_ptr<LumoraContact>> sorted;
    sorted.reserve(entries_.size());
    for (std::size_t i : order) {
        sorted.push_back(entries_[i]);
    }
    entries_ = std::move(sorted);
    shown_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (matches(*entries_[i])) {
            shown_.push_back(i);
        }
    }
    endResetModel();
}

std::shared_ptr<LumoraContact> ContactListModel::contactAt(const QModelIndex& index) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return nullptr;
    }
    return entries_[shown_[static_cast<std::size_t>(index.row())]];
}

QModelIndex ContactListModel::indexOf(const std::wstring& jid) const {
    for (std::size_t row = 0; row < shown_.size(); ++row) {
        if (entries_[shown_[row]]->getJid() == jid) {
            return index(static_cast<int>(row));
        }
    }
    return QModelIndex();
}
