// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_browser.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "files/file_handle.h"
#include "files/local_file.h"

namespace tickora::gui {
namespace {

// The guide is some tens of kilobytes; a file this large is no guide.
constexpr std::size_t kGuideLimit = 4 * 1024 * 1024;

// Qt would read the guide, and every page a link of it names, by itself: here each is read
// through files/, and only a local HTML page is read at all.
class GuideText : public QTextBrowser {
  public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override {
        if (type != QTextDocument::HtmlResource || !name.isLocalFile()) {
            return {};
        }
        int error = 0;
        const std::optional<std::string> text =
            ReadGuideFile(name.toLocalFile().toStdString(), &error);
        if (!text) {
            return {};
        }
        return QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
    }
};

}  // namespace

std::optional<std::string> ReadGuideFile(const std::string& path, int* error) {
    FileHandle file(OpenLocalFile(path.c_str(), "rb"));
    if (!file) {
        *error = errno;
        return std::nullopt;
    }
    std::string text(kGuideLimit + 1, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    if (std::ferror(file.get()) != 0) {
        *error = errno != 0 ? errno : EIO;
        return std::nullopt;
    }
    if (text.size() > kGuideLimit) {
        *error = EFBIG;
        return std::nullopt;
    }
    return text;
}

CHelpBrowser::CHelpBrowser(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("helpBrowser"));
    setWindowTitle(QStringLiteral("ユーザーズガイド - Tickora"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* back = new QPushButton(QStringLiteral("戻る"), this);
    auto* forward = new QPushButton(QStringLiteral("進む"), this);
    auto* top = new QPushButton(QStringLiteral("目次"), this);
    back->setObjectName(QStringLiteral("helpBack"));
    top->setObjectName(QStringLiteral("helpTop"));
    for (QPushButton* button : {back, forward, top}) {
        button->setAutoDefault(false);
        row->addWidget(button);
    }
    m_pMessage = new QLabel(this);
    m_pMessage->setObjectName(QStringLiteral("helpMessage"));
    m_pMessage->setWordWrap(true);
    row->addWidget(m_pMessage, 1);
    layout->addLayout(row);
    m_pBrowser = new GuideText(this);
    m_pBrowser->setObjectName(QStringLiteral("helpText"));
    // Links within the guide move through it; a link out of it goes to the desktop's browser.
    m_pBrowser->setOpenExternalLinks(true);
    layout->addWidget(m_pBrowser, 1);
    connect(back, &QPushButton::clicked, m_pBrowser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_pBrowser, &QTextBrowser::forward);
    connect(top, &QPushButton::clicked, this, [this] { m_pBrowser->scrollToAnchor(QString()); });
    connect(m_pBrowser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_pBrowser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    back->setEnabled(false);
    forward->setEnabled(false);
    resize(820, 640);
}

bool CHelpBrowser::OpenGuide(const std::string& path) {
    int error = 0;
    const std::optional<std::string> text = ReadGuideFile(path, &error);
    const QString shown = QDir::toNativeSeparators(QString::fromStdString(path));
    if (!text) {
        m_pBrowser->clear();
        m_pMessage->setText(QStringLiteral("ユーザーズガイド %1 を読めません: %2")
                                .arg(shown, FromUtf8(PhraseJa(std::strerror(error)))));
        return false;
    }
    m_pBrowser->setSource(
        QUrl::fromLocalFile(QFileInfo(QString::fromStdString(path)).absoluteFilePath()),
        QTextDocument::HtmlResource);
    m_pMessage->setText(shown);
    return true;
}

QString CHelpBrowser::Message() const {
    return m_pMessage->text();
}

}  // namespace tickora::gui
