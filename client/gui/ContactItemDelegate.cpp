#include "client/gui/ContactItemDelegate.h"

#include <QApplication>
#include <QPainter>

#include "client/contacts/LumoraContact.h"
#include "client/gui/Artwork.h"
#include "client/gui/ContactListModel.h"
#include "client/gui/ContactLook.h"
#include "client/gui/ScreenResolution.h"
#include "kestra/Log.h"

namespace {
constexpr int PADDING = 4;

const LumoraContact* contactOf(const QModelIndex& index) {
    return static_cast<const LumoraContact*>(
        index.data(ContactListModel::ContactRole).value<void*>());
}
}  // namespace

ContactItemDelegate::ContactItemDelegate(bool highResolution, UnreadQuery unread, QObject* parent)
    : QStyledItemDelegate(parent), high_(highResolution), unread_(std::move(unread)) {}

QSize ContactItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    const int line = option.fontMetrics.height();
    const int icon = ScreenResolution::listIconSize(high_);
    const int texts = high_ ? 2 * line + 2 : line;
    return QSize(icon + 3 * PADDING + 60, qMax(icon, texts) + 2 * PADDING);
}

void ContactItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const LumoraContact* contact = contactOf(index);
    if (contact == nullptr) {
        return;
    }
    if (index.data(Qt::DisplayRole).toString().isEmpty()) {
        kestra::Log::error("ContactsListBoxWindow::onDrawItem sting size == 0.");
        return;
    }
    painter->save();
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    if (index.data(ContactListModel::FirstOfflineRole).toBool()) {
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.topLeft(), option.rect.topRight());
    }
    const int icon = ScreenResolution::listIconSize(high_);
    const QRect iconRect(option.rect.left() + PADDING,
                         option.rect.top() + (option.rect.height() - icon) / 2, icon, icon);
    const bool waiting = blinkPhase_ && unread_ && unread_(contact->getJid());
    const QString picture =
        waiting ? QStringLiteral("messages") : ContactLook::statusPicture(contact->getStatus());
    painter->drawPixmap(iconRect, Artwork::pixmap(picture, icon));

    QRect area = option.rect.adjusted(icon + 2 * PADDING, PADDING, -PADDING, -PADDING);
    if (contact->hasPosition()) {
        const int pin = icon * 3 / 4;
        const QRect pinRect(area.right() - pin,
                            option.rect.top() + (option.rect.height() - pin) / 2, pin, pin);
        painter->drawPixmap(pinRect, Artwork::pixmap(QStringLiteral("position"), pin));
        area.setRight(pinRect.left() - PADDING);
    }
    paintTexts(painter, option, area, index);
    painter->restore();
}

void ContactItemDelegate::paintTexts(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QRect& area, const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const bool offline = index.data(ContactListModel::OfflineRole).toBool();
    const QPalette::ColorRole role = selected ? QPalette::HighlightedText : QPalette::Text;
    QColor nameColour = option.palette.color(role);
    if (offline && !selected) {
        nameColour = option.palette.color(QPalette::Disabled, QPalette::Text);
    }
    QFont nameFont = option.font;
    nameFont.setBold(!offline);
    painter->setFont(nameFont);
    painter->setPen(nameColour);
    const QFontMetrics nameMetrics(nameFont);
    const QString name = nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                Qt::ElideRight, area.width());
    if (!high_) {
        painter->drawText(area, Qt::AlignVCenter | Qt::AlignLeft, name);
        return;
    }
    const int line = nameMetrics.height();
    const int top = area.top() + (area.height() - 2 * line - 2) / 2;
    painter->drawText(QRect(area.left(), top, area.width(), line), Qt::AlignLeft, name);
    painter->setFont(option.font);
    painter->setPen(selected ? nameColour
                             : option.palette.color(QPalette::Disabled, QPalette::Text));
    const QString status =
        ContactLook::statusText(index.data(ContactListModel::StatusRole).toInt());
    painter->drawText(QRect(area.left(), top + line + 2, area.width(), line), Qt::AlignLeft,
                      option.fontMetrics.elidedText(status, Qt::ElideRight, area.width()));
}
