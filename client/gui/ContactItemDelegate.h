#pragma once

#include <QStyledItemDelegate>
#include <functional>
#include <string>

// Draws one entry of the contact list: the status picture (the messages picture in turn
// with it while the contact's messages wait unread and the blink phase is on), the name
// (grey in the offline part), under it the status in words on large screens, a pin when the
// contact's position is known, and a line above the first entry of the offline part.
class ContactItemDelegate : public QStyledItemDelegate {
public:
    using UnreadQuery = std::function<bool(const std::wstring& jid)>;

    ContactItemDelegate(bool highResolution, UnreadQuery unread, QObject* parent);

    void setBlinkPhase(bool on) { blinkPhase_ = on; }
    bool blinkPhase() const { return blinkPhase_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void paintTexts(QPainter* painter, const QStyleOptionViewItem& option, const QRect& area,
                    const QModelIndex& index) const;

    const bool high_;
    UnreadQuery unread_;
    bool blinkPhase_ = false;
};
