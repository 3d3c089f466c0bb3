#include "client/gui/AboutWindow.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>

#include "client/app/ClientVersion.h"
#include "client/gui/Artwork.h"
#include "client/gui/UiText.h"
#include "kestra/Log.h"

namespace {
QLabel* paragraph(const QString& content, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* heading(const QString& content, QWidget* parent) {
    QLabel* label = paragraph(content, parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QWidget* header(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(box);
    icon->setPixmap(Artwork::pixmap(QStringLiteral("lumora"), 64));
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto* title = new QLabel(box);
    title->setTextFormat(Qt::PlainText);
    QFont large = title->font();
    large.setPointSizeF(large.pointSizeF() * 1.6);
    large.setBold(true);
    title->setFont(large);
    title->setText(QStringLiteral("Lumora"));
    auto* lines = new QVBoxLayout;
    lines->addWidget(title);
    lines->addWidget(
        paragraph(uiText("Version ") + QString::fromLatin1(LUMORA_CLIENT_VERSION), box));
    lines->addWidget(paragraph(uiText("Chat with your contacts and see where they are."), box));
    layout->addLayout(lines, 1);
    return box;
}

QWidget* body(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(heading(uiText("Licences"), box));
    layout->addWidget(paragraph(
        uiText("Lumora uses these libraries, each under its own licence: Qt 6 (GNU LGPL 3), gloox "
               "(GNU GPL 3), pugixml (MIT), libcurl (curl licence), OpenSSL (Apache 2.0), GnuTLS "
               "(GNU LGPL 2.1), zlib and minizip (zlib licence), libgps (BSD), Boost (Boost "
               "Software Licence)."),
        box));
    layout->addWidget(heading(uiText("Map data"), box));
    layout->addWidget(paragraph(
        uiText("Map tiles: (c) OpenStreetMap contributors, openstreetmap.org/copyright (map data "
               "under the Open Database Licence); (c) Google for Google Maps; (c) Microsoft for "
               "Bing Maps."),
        box));
    layout->addWidget(paragraph(
        uiText("The offline world map of the local service: NASA Blue Marble (public domain); "
               "country outlines of the Digital Chart of the World as prepared for GMT (gmt-dcw, "
               "P. Wessel and J. Luis; GNU LGPL); lakes and borders of GSHHG (P. Wessel and "
               "W. H. F. Smith; GNU LGPL); capitals from the city placemarks of the Marble virtual "
               "globe (CC BY 3.0)."),
        box));
    layout->addStretch(1);
    return box;
}
}  // namespace

AboutWindow::AboutWindow(QWidget* parent)
    : QDialog(parent), download_(new QLabel(this)), note_(paragraph(QString(), this)) {
    setObjectName(QStringLiteral("aboutWindow"));
    setWindowTitle(uiText("About Lumora"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header(this));
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(body(scroll));
    layout->addWidget(scroll, 1);
    download_->setObjectName(QStringLiteral("downloadLink"));
    download_->setWordWrap(true);
    download_->setTextFormat(Qt::RichText);
    download_->setTextInteractionFlags(Qt::TextBrowserInteraction);
    download_->hide();
    connect(download_, &QLabel::linkActivated, this,
            [](const QString& link) { openAddress(link); });
    layout->addWidget(download_);
    note_->setObjectName(QStringLiteral("updateNote"));
    note_->hide();
    layout->addWidget(note_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(uiText("Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    layout->addWidget(buttons);
    resize(460, 520);
}

void AboutWindow::setUpdateNote(const QString& note) {
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

void AboutWindow::setDownloadAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    const bool web = url.isValid() && (url.scheme() == QLatin1String("http") ||
                                       url.scheme() == QLatin1String("https"));
    if (!web) {
        download_->hide();
        download_->clear();
        return;
    }
    const QString shown = url.toDisplayString().toHtmlEscaped();
    download_->setText(uiText("A newer version can be downloaded:") +
                       QStringLiteral(" <a href=\"") +
                       QString::fromLatin1(url.toEncoded()).toHtmlEscaped() +
                       QStringLiteral("\">") + shown + QStringLiteral("</a>"));
    download_->show();
}

bool AboutWindow::openAddress(const QString& address) {
    if (!QDesktopServices::openUrl(QUrl(address))) {
        kestra::Log::error("AboutWindow::OnNotify error while ShellExecuteEx.");
        return false;
    }
    return true;
}
