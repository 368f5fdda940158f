// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_title.h"
#include "app/settings_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <utility>

#include "app/command_table.h"
#include "app/dialog_buttons.h"
#include "app/qt_text.h"
#include "catalog/app_settings.h"

namespace tickora::gui {
namespace {

// The sorted list control compares texts as Shift-JIS bytes, letters without regard to case.
bool SjisLess(const QString& a, const QString& b) {
    std::string x = ToSjis(a);
    std::string y = ToSjis(b);
    auto lower = [](std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i) {
            const auto c = static_cast<unsigned char>(s[i]);
            if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
                ++i;  // the trail byte of a double-byte character is no letter
            } else if (c >= 'A' && c <= 'Z') {
                s[i] = static_cast<char>(c - 'A' + 'a');
            }
        }
    };
    lower(x);
    lower(y);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char l, char r) {
        return static_cast<unsigned char>(l) < static_cast<unsigned char>(r);
    });
}

}  // namespace

CFolderBrowserDlg::CFolderBrowserDlg(const QString& instruction, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("folderBrowser"));
    setWindowTitle(QStringLiteral("フォルダの参照"));
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(instruction, this));
    m_pModel = new QFileSystemModel(this);
    m_pModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_pModel->setRootPath(QDir::rootPath());
    m_pTree = new QTreeView(this);
    m_pTree->setModel(m_pModel);
    for (int column = 1; column < m_pModel->columnCount(); ++column) {
        m_pTree->hideColumn(column);
    }
    m_pTree->setHeaderHidden(true);
    m_pTree->setRootIndex(m_pModel->index(QDir::rootPath()));
    layout->addWidget(m_pTree);
    // The folders are read in the background: each one read may move the selected folder out of
    // sight again.
    connect(m_pModel, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_pTree->currentIndex().isValid()) {
            m_pTree->scrollTo(m_pTree->currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
    layout->addWidget(OkCancelButtons(this, ButtonPlacement::kCentered));
    resize(360, 420);
}

bool CFolderBrowserDlg::SelectFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        return false;
    }
    const QModelIndex index = m_pModel->index(info.absoluteFilePath());
    if (!index.isValid()) {
        return false;
    }
    m_pTree->setCurrentIndex(index);
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) {
        m_pTree->expand(above);
    }
    m_pTree->scrollTo(index, QAbstractItemView::PositionAtCenter);
    return true;
}

QString CFolderBrowserDlg::SelectedFolder() const {
    const QModelIndex index = m_pTree->currentIndex();
    return index.isValid() ? m_pModel->filePath(index) : QString();
}

CFolderBrowser::CFolderBrowser(QString title, QString initialFolder, QWidget* owner)
    : m_strTitle(std::move(title)), m_pOwner(owner), m_strInitialFolder(std::move(initialFolder)) {}

int CFolderBrowser::Browse() {
    CFolderBrowserDlg dialog(m_strTitle, m_pOwner);
    if (!m_strInitialFolder.isEmpty()) {
        (void)dialog.SelectFolder(m_strInitialFolder);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return 0;
    }
    const QString chosen = dialog.SelectedFolder();
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        return 0;
    }
    m_strPath = QDir::toNativeSeparators(chosen);
    return 1;
}

QString FormatExplanation(int format) {
    switch (format) {
        case 1:
            return QStringLiteral(
                "DSyymmdd.DAT: 4 行の見出しのあと、タブ区切りで市場名と銘柄名も書きます");
        case 2:
            return QStringLiteral(
                "DSyyyymm.dd: 2 行の見出しのあと、桁をそろえたカンマ区切り (銘柄名は 12 バイト)");
        case 3:
            return QStringLiteral("DSyymmdd.DAT: 2 行の見出しのあと、カンマ区切りで 1 銘柄 1 行");
        case 0:
            return QStringLiteral("空欄は株取虫もどきとして書きます (DSyymmdd.DAT、カンマ区切り)");
        default:
            return QStringLiteral("形式が選ばれていません。株取虫もどきとして書きます");
    }
}

QString WholeFolderPath(const QString& folder) {
    if (folder.isEmpty()) {
        return folder;
    }
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(folder)));
}

QStringList SortedFormatItems() {
    QStringList items = {QStringLiteral("株取虫32"), QStringLiteral("株取虫DOS"),
                         QStringLiteral("株取虫もどき"), QString()};
    std::stable_sort(items.begin(), items.end(), SjisLess);
    return items;
}

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsDlg"));
    setWindowTitle(QStringLiteral("初期設定"));
    KeepTitleWhole(this);
    auto* grid = new QGridLayout(this);

    m_pFormat = new QComboBox(this);
    m_pFormat->setObjectName(QStringLiteral("combo1003"));
    m_pFormat->addItems(SortedFormatItems());
    grid->addWidget(new QLabel(QStringLiteral("出力フォーマット："), this), 0, 0);
    grid->addWidget(m_pFormat, 0, 1, 1, 2);
    m_pFormatNote = new QLabel(this);
    m_pFormatNote->setObjectName(QStringLiteral("formatNote"));
    m_pFormatNote->setWordWrap(true);
    QPalette muted = m_pFormatNote->palette();
    muted.setColor(QPalette::WindowText, muted.color(QPalette::PlaceholderText));
    m_pFormatNote->setPalette(muted);
    grid->addWidget(m_pFormatNote, 1, 1, 1, 2);
    connect(m_pFormat, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_pFormatNote->setText(FormatExplanation(index)); });
    m_pFormatNote->setText(FormatExplanation(m_pFormat->currentIndex()));

    m_pAverageDecimals = new QCheckBox(QStringLiteral("平均株価を小数点以下も出力"), this);
    m_pAverageDecimals->setObjectName(QStringLiteral("check1010"));
    grid->addWidget(m_pAverageDecimals, 2, 0, 1, 3);

    m_pOutputDir = new QLineEdit(this);
    m_pOutputDir->setObjectName(QStringLiteral("edit1006"));
    m_pOutputDir->setReadOnly(true);
    auto* browse = new QPushButton(QStringLiteral("変更"), this);
    browse->setObjectName(QStringLiteral("button1001"));
    browse->setAutoDefault(false);
    grid->addWidget(new QLabel(QStringLiteral("出力先ディレクトリ："), this), 3, 0);
    grid->addWidget(m_pOutputDir, 3, 1);
    grid->addWidget(browse, 3, 2);

    m_pAutoStart = new QCheckBox(QStringLiteral("起動後直ちに取得開始"), this);
    m_pAutoStart->setObjectName(QStringLiteral("check1008"));
    grid->addWidget(m_pAutoStart, 4, 0, 1, 3);
    m_pExitAfterFetch = new QCheckBox(QStringLiteral("取得後直ちに終了"), this);
    m_pExitAfterFetch->setObjectName(QStringLiteral("check1009"));
    grid->addWidget(m_pExitAfterFetch, 5, 0, 1, 3);

    grid->addWidget(OkCancelButtons(this, ButtonPlacement::kCentered), 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(520);
    connect(browse, &QPushButton::clicked, this, &CSettingsDlg::OnBrowse);
}

int CSettingsDlg::exec() {
    // An index outside the list selects nothing, and OK then stores -1.
    m_pFormat->setCurrentIndex(
        m_nOutputFormat >= 0 && m_nOutputFormat < m_pFormat->count() ? m_nOutputFormat : -1);
    m_pFormatNote->setText(FormatExplanation(m_pFormat->currentIndex()));
    m_strChosenDir = m_strOutputDir;
    m_pOutputDir->setText(WholeFolderPath(m_strOutputDir));
    m_pOutputDir->setToolTip(m_pOutputDir->text());
    m_pOutputDir->setCursorPosition(0);
    m_pAutoStart->setChecked(m_bAutoStart != 0);
    m_pExitAfterFetch->setChecked(m_bExitAfterFetch != 0);
    m_pAverageDecimals->setChecked(m_bAverageDecimals != 0);
    return QDialog::exec();
}

void CSettingsDlg::accept() {
    const QString folder = m_strChosenDir;
    const std::string sjis = ToSjis(folder);
    if (FromSjis(sjis) != folder) {
        // The writers would get '?' in place of the characters Shift-JIS cannot hold.
        QMessageBox box(QMessageBox::Warning, FromUtf8(kAppTitle),
                        QStringLiteral("出力先ディレクトリに Shift-JIS で表せない文字があります。"
                                       "別のフォルダを選んでください。"),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("validationMessage"));
        box.exec();
        return;
    }
    if (sjis.size() > static_cast<std::size_t>(kMaxOutputDirBytes)) {
        QMessageBox box(QMessageBox::Warning, FromUtf8(kAppTitle),
                        QStringLiteral("出力先ディレクトリのパスが長すぎます。%1 バイト以内の"
                                       "フォルダを選んでください。")
                            .arg(kMaxOutputDirBytes),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("validationMessage"));
        box.exec();
        return;
    }
    m_nOutputFormat = m_pFormat->currentIndex();
    m_strOutputDir = folder;
    m_bAutoStart = m_pAutoStart->isChecked() ? 1 : 0;
    m_bExitAfterFetch = m_pExitAfterFetch->isChecked() ? 1 : 0;
    m_bAverageDecimals = m_pAverageDecimals->isChecked() ? 1 : 0;
    QDialog::accept();
}

void CSettingsDlg::OnBrowse() {
    CFolderBrowser browser(QStringLiteral("フォルダを選択してください"), QString(), window());
    // The edit box cannot be typed into: it shows the folder from the start or the last browse,
    // and the chooser opens there (the working folder for ".").
    browser.SetInitialFolder(WholeFolderPath(m_strChosenDir));
    if (browser.Browse() == 1) {
        m_strChosenDir = browser.GetPath();
        m_pOutputDir->setText(m_strChosenDir);
        m_pOutputDir->setToolTip(m_strChosenDir);
    }
}

bool RunSettingsDialog(CAppSettings& settings, QWidget* parent,
                       const std::function<void(const CAppSettings&)>& save) {
    CSettingsDlg dlg(parent);
    dlg.m_nOutputFormat = settings.m_nOutputFormat;
    dlg.m_strOutputDir = FromSjis(settings.m_szOutputDir);
    dlg.m_bAutoStart = settings.m_bAutoStart;
    dlg.m_bExitAfterFetch = settings.m_bExitAfterFetch;
    dlg.m_bAverageDecimals = settings.m_bAverageDecimals;
    if (dlg.exec() != QDialog::Accepted) {
        return false;
    }
    settings.m_nOutputFormat = dlg.m_nOutputFormat;
    const std::string folder = ToSjis(dlg.m_strOutputDir);
    std::memset(settings.m_szOutputDir, 0, sizeof settings.m_szOutputDir);
    std::memcpy(settings.m_szOutputDir, folder.data(),
                std::min(folder.size(), sizeof settings.m_szOutputDir - 1));
    settings.m_bAutoStart = dlg.m_bAutoStart;
    settings.m_bExitAfterFetch = dlg.m_bExitAfterFetch;
    settings.m_bAverageDecimals = dlg.m_bAverageDecimals;
    if (save) {
        save(settings);
    } else {
        (void)settings.Save();
    }
    return true;
}

}  // namespace tickora::gui
