#include "client/gui/ContactDetailsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

#include "client/app/ApplicationMessages.h"
#include "client/app/IApplicationManager.h"
#include "client/contacts/LumoraContact.h"
#include "client/gui/Artwork.h"
#include "client/gui/ContactLook.h"
#include "client/gui/UiText.h"
#include "client/gui/WindowFront.h"
#include "kestra/Log.h"

namespace {
constexpr int PICTURE_SIZE = 96;
// The fields shown, by the object name of their label and their title.
const char* const FIELDS[][2] = {{"name", "Name:"},         {"gid", "GID:"},
                                 {"email", "E-mail:"},      {"telephone", "Telephone:"},
                                 {"birthday", "Birthday:"}, {"gender", "Gender:"},
                                 {"about", "About:"}};

QString genderText(int gender) {
    if (gender == LumoraContact::GENDER_MALE) {
        return uiText("Male");
    }
    return gender == LumoraContact::GENDER_FEMALE ? uiText("Female") : QString();
}
}  // namespace

ContactDetailsDialog::ContactDetailsDialog(IApplicationManager& controller, QWidget* parent)
    : QDialog(parent),
      controller_(controller),
      picture_(new QLabel(this)),
      nick_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("contactDetailsDialog"));
    setWindowTitle(uiText("User profile"));
    setMinimumWidth(300);
    auto* layout = new QVBoxLayout(this);
    picture_->setFixedSize(PICTURE_SIZE, PICTURE_SIZE);
    picture_->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture_, 0, Qt::AlignHCenter);
    auto* form = new QFormLayout;
    form->addRow(uiText("Nick:"), nick_);
    for (const auto& field : FIELDS) {
        auto* value = new QLabel(this);
        value->setObjectName(QString::fromLatin1(field[0]));
        value->setWordWrap(true);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(uiText(field[1]), value);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(uiText("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(uiText("Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &ContactDetailsDialog::apply);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void ContactDetailsDialog::showContact(const std::shared_ptr<LumoraContact>& contact, int flag) {
    if (!contact) {
        return;
    }
    contact_ = contact;
    flag_ = flag;
    nick_->setText(QString::fromStdWString(contact_->getNick()));
    nick_->setModified(false);
    fill();
    bringWindowToFront(*this);
}

void ContactDetailsDialog::refreshContact(const std::wstring& jid) {
    if (!contact_ || contact_->getJid() != jid) {
        return;
    }
    if (!nick_->isModified()) {
        nick_->setText(QString::fromStdWString(contact_->getNick()));
    }
    fill();
}

// The telephone, birthday and "about" text live in the contact's file.
void ContactDetailsDialog::fill() {
    LumoraContact::AdditionalInfo more;
    try {
        more = contact_->loadAdditionalInfo();
    } catch (const std::exception&) {  // an unreadable file: the fields it holds stay empty
        kestra::Log::warning("ContactDetailsDialog: the contact's stored card cannot be read.");
    }
    setWindowTitle(ContactLook::displayName(*contact_));
    nick_->setEnabled(controller_.findContact(contact_->getJid()) != nullptr);
    setField("name",
             QString::fromStdWString(contact_->getFirstName() + L" " + contact_->getLastName())
                 .trimmed());
    setField("gid", QString::fromStdWString(contact_->getGid()));
    setField("email", QString::fromStdWString(contact_->getEmail()));
    setField("telephone", QString::fromStdWString(more.telephone));
    const bool born = more.day != 0 && more.month != 0 && more.year != 0;
    setField(
        "birthday",
        born ? QStringLiteral("%1/%2/%3").arg(more.day).arg(more.month).arg(more.year) : QString());
    setField("gender", genderText(contact_->getGender()));
    setField("about", QString::fromStdWString(more.about));
    QPixmap picture;
    if (contact_->hasAvatar()) {
        picture.load(QString::fromStdWString(contact_->getAvatarPath()));
    }
    picture_->setPixmap(picture.isNull()
                            ? Artwork::pixmap(QStringLiteral("avatar"), PICTURE_SIZE)
                            : picture.scaled(PICTURE_SIZE, PICTURE_SIZE, Qt::KeepAspectRatio,
                                             Qt::SmoothTransformation));
}

void ContactDetailsDialog::setField(const char* field, const QString& value) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(field))) {
        label->setText(value.isEmpty() ? QStringLiteral("\u2014") : value);
    }
}

QString ContactDetailsDialog::fieldText(const char* field) const {
    const auto* label = findChild<QLabel*>(QString::fromLatin1(field));
    return label != nullptr ? label->text() : QString();
}

void ContactDetailsDialog::apply() {
    const std::wstring nick = nick_->text().trimmed().toStdWString();
    if (contact_ && nick_->isEnabled() && nick != contact_->getNick()) {
        contact_->setNick(nick);
        controller_.postMessage(UM_CHANGE_NICK, 0, 0, kestra::makePayload(contact_));
    }
    accept();
}
