// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs: the code dialog's range checks and "全銘柄", the settings dialog's round trip to
// "Tickora.ini" through the folder chooser, and the texts of the option and About dialogs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>

#include "app/about_dlg.h"
#include "app/options_dlgs.h"
#include "app/settings_dlg.h"
#include "catalog/app_settings.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"

namespace tickora::gui {
namespace {

using test::Accept;
using test::Expect;
using test::Reject;
using test::WaitUntil;
using test::WhenModal;
using tickora::test::ReadFileBytes;
using tickora::test::ScopedWorkDir;

struct CodeCase {
    const char* code;
    const char* days;
    bool accepted;
    const char* refused;  // objectName of the refused field
    unsigned wantCode;
    unsigned wantDays;
};

void PrintTo(const CodeCase& c, std::ostream* out) {
    *out << "code '" << c.code << "' days '" << c.days << "'";
}

class CodeDialogRanges : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeDialogRanges, TakesOnlyCodesAndDaysInRange) {
    const CodeCase& c = GetParam();
    CCodeDlg dlg(true);
    dlg.m_pCode->setText(QString::fromUtf8(c.code));
    dlg.m_pDays->setText(QString::fromUtf8(c.days));
    QString message;
    QLineEdit* refused = nullptr;
    EXPECT_EQ(dlg.ExchangeFromControls(&message, &refused), c.accepted);
    if (c.accepted) {
        EXPECT_EQ(dlg.m_nCode, c.wantCode);
        EXPECT_EQ(dlg.m_nDays, c.wantDays);
    } else {
        ASSERT_NE(refused, nullptr);
        EXPECT_EQ(refused->objectName().toStdString(), c.refused);
        EXPECT_FALSE(message.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CodeDialogRanges,
    ::testing::Values(CodeCase{"0", "10", true, "", 0, 10},
                      CodeCase{"9999", "3000", true, "", 9999, 3000},
                      CodeCase{" 1301 ", "200", true, "", 1301, 200},
                      CodeCase{"10000", "200", false, "edit1006", 0, 0},
                      CodeCase{"1301", "9", false, "edit1007", 0, 0},
                      CodeCase{"1301", "3001", false, "edit1007", 0, 0},
                      CodeCase{"-1", "200", false, "edit1006", 0, 0},
                      CodeCase{"13a1", "200", false, "edit1006", 0, 0},
                      CodeCase{"1301", "", false, "edit1007", 0, 0},
                      CodeCase{"99999999999", "200", false, "edit1006", 0, 0},
                      // Days are exchanged before the code: the days field is refused first.
                      CodeCase{"10000", "5", false, "edit1007", 0, 0}));

TEST(CodeDialog, RefusedOkKeepsTheDialogOpenWithAMessage) {
    CCodeDlg dlg(false);
    dlg.m_nCode = 1301;
    dlg.m_nDays = 200;
    QString seenMessage;
    WhenModal(QStringLiteral("codeDlg"), [&](QWidget* w) {
        auto* code = static_cast<CCodeDlg*>(w);
        code->m_pDays->setText(QStringLiteral("3001"));
        WhenModal(QStringLiteral("validationMessage"), [&](QWidget* box) {
            seenMessage = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            Accept(box);
        });
        code->accept();
        EXPECT_TRUE(code->isVisible()) << "a refused field keeps the dialog open";
        code->m_pDays->setText(QStringLiteral("300"));
        code->m_pCode->setText(QStringLiteral("7203"));
        code->accept();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(seenMessage.toStdString(), "10 から 3000 までの整数を入力してください。");
    EXPECT_EQ(dlg.m_nCode, 7203u);
    EXPECT_EQ(dlg.m_nDays, 300u);
    EXPECT_EQ(dlg.m_bAllStocks, 0);
}

TEST(CodeDialog, AllStocksPutsZeroAndLocksTheCodeUntilCleared) {
    CCodeDlg dlg(true);
    EXPECT_FALSE(dlg.m_pAllStocks->isHidden());
    dlg.m_pCode->setText(QStringLiteral("1301"));
    dlg.m_pAllStocks->click();
    EXPECT_EQ(dlg.m_pCode->text(), QStringLiteral("0"));
    EXPECT_TRUE(dlg.m_pCode->isReadOnly());
    dlg.m_pAllStocks->click();
    EXPECT_EQ(dlg.m_pCode->text(), QStringLiteral("0"));
    EXPECT_FALSE(dlg.m_pCode->isReadOnly());
}

TEST(CodeDialog, AllStocksHiddenUnlessTheDocumentAllowsIt) {
    CCodeDlg hidden(false);
    EXPECT_TRUE(hidden.m_pAllStocks->isHidden());
    EXPECT_EQ(hidden.windowTitle().toStdString(), "銘柄指定");
}

TEST(OptionDialogs, TitlesTextsAndClearedChecks) {
    CListOptionsDlg list;
    EXPECT_EQ(list.windowTitle().toStdString(), "fetchlist.csvを生成");
    EXPECT_EQ(list.m_pAddedOnly->text().toStdString(), "追加された銘柄のみ更新");
    CProfileOptionsDlg profile;
    EXPECT_EQ(profile.windowTitle().toStdString(), "銘柄基本情報の取得");
    EXPECT_EQ(profile.m_pAddedOnly->text().toStdString(), "追加された銘柄の更新");
    for (QDialog* dlg : {static_cast<QDialog*>(&list), static_cast<QDialog*>(&profile)}) {
        QStringList texts;
        for (QLabel* label : dlg->findChildren<QLabel*>()) {
            texts << label->text();
        }
        EXPECT_TRUE(texts.contains(QStringLiteral("取得には時間がかかります。")));
    }

    // OK takes exactly the boxes the user ticked.
    WhenModal(QStringLiteral("listOptionsDlg"), [](QWidget* w) {
        auto* dlg = static_cast<CListOptionsDlg*>(w);
        EXPECT_FALSE(dlg->m_pKeepHtml->isChecked());
        EXPECT_FALSE(dlg->m_pAddedOnly->isChecked());
        EXPECT_FALSE(dlg->m_pUseKeptHtml->isChecked());
        dlg->m_pAddedOnly->click();
        Accept(dlg);
    });
    ASSERT_EQ(list.exec(), QDialog::Accepted);
    EXPECT_EQ(list.m_bKeepHtml, 0);
    EXPECT_EQ(list.m_bAddedOnly, 1);
    EXPECT_EQ(list.m_bUseKeptHtml, 0);
}

TEST(AboutDialog, NamesTheProgramItsVersionItsCopyrightAndItsLicence) {
    CAboutDlg about;
    auto* text = about.findChild<QLabel*>(QStringLiteral("versionText"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text().toStdString(), "Tickora v1.1.5");
    EXPECT_TRUE(about.findChild<QLabel*>(QStringLiteral("copyrightText"))
                    ->text()
                    .startsWith(QStringLiteral("Copyright ©")));
    EXPECT_TRUE(about.findChild<QLabel*>(QStringLiteral("licenceText"))
                    ->text()
                    .contains(QStringLiteral("GPL-3.0-or-later")));
}

// Every dialog is at least as wide as its title, so that no title bar cuts it.
TEST(Dialogs, NoTitleIsCut) {
    CListOptionsDlg list;
    CProfileOptionsDlg profile;
    CCodeDlg code(true);
    CAboutDlg about;
    for (QDialog* dialog : std::initializer_list<QDialog*>{&list, &profile, &code, &about}) {
        dialog->show();
        const int title = QFontMetrics(dialog->font()).horizontalAdvance(dialog->windowTitle());
        EXPECT_GE(dialog->width(), title + 100) << dialog->windowTitle().toStdString();
        dialog->hide();
    }
}

TEST(SettingsDialog, FormatListSortsTheEmptyItemFirst) {
    QStringList items = SortedFormatItems();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0], QString());
    EXPECT_EQ(items[1].toStdString(), "株取虫32");
    EXPECT_EQ(items[2].toStdString(), "株取虫DOS");
    EXPECT_EQ(items[3].toStdString(), "株取虫もどき");
}

std::int32_t IntAt(const std::string& bytes, std::size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (p[1] << 8) | (p[2] << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

// Picks folder in the chooser that "変更" opens, and checks how it was opened.
void ChooseFolderWhenAsked(const QString& folder, const QString& expectedStart) {
    WhenModal(QStringLiteral("folderBrowser"), [folder, expectedStart](QWidget* w) {
        auto* browser = static_cast<CFolderBrowserDlg*>(w);
        EXPECT_EQ(browser->windowTitle().toStdString(), "フォルダの参照");
        QStringList texts;
        for (QLabel* label : browser->findChildren<QLabel*>()) {
            texts << label->text();
        }
        EXPECT_TRUE(texts.contains(QStringLiteral("フォルダを選択してください")));
        EXPECT_EQ(browser->SelectedFolder(), expectedStart);
        EXPECT_TRUE(browser->SelectFolder(folder));
        Accept(browser);
    });
}

TEST(SettingsDialog, OkWritesTheWholeRecordWithTheChosenFolder) {
    ScopedWorkDir dir;
    const std::filesystem::path out = dir.Path() / "出力 先";
    std::filesystem::create_directory(out);
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, dir.Path().string().c_str());

    WhenModal(QStringLiteral("settingsDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CSettingsDlg*>(w);
        EXPECT_EQ(dlg->windowTitle().toStdString(), "初期設定");
        EXPECT_EQ(dlg->m_pFormat->currentIndex(), 3);
        EXPECT_EQ(dlg->m_pFormat->currentText().toStdString(), "株取虫もどき");
        EXPECT_TRUE(dlg->m_pOutputDir->isReadOnly());
        dlg->m_pFormat->setCurrentIndex(0);  // the empty item
        dlg->m_pAutoStart->click();
        dlg->m_pAverageDecimals->click();
        ChooseFolderWhenAsked(QString::fromStdString(out.string()),
                              QString::fromStdString(dir.Path().string()));
        dlg->findChild<QPushButton*>(QStringLiteral("button1001"))->click();
        EXPECT_EQ(dlg->m_pOutputDir->text().toStdString(), out.string());
        dlg->accept();
    });
    ASSERT_TRUE(RunSettingsDialog(settings, nullptr));

    const std::string bytes = ReadFileBytes(dir.Path() / "Tickora.ini");
    ASSERT_EQ(bytes.size(), 148u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x01\x01\x00", 4));
    EXPECT_EQ(IntAt(bytes, 4), 0);
    const std::string folder = Utf8ToSjis(out.string());
    EXPECT_EQ(bytes.substr(8, folder.size()), folder);
    EXPECT_EQ(bytes[8 + folder.size()], '\0');
    EXPECT_EQ(IntAt(bytes, 136), 1);
    EXPECT_EQ(IntAt(bytes, 140), 0);
    EXPECT_EQ(IntAt(bytes, 144), 1);
}

// Each layout is said in a line under the list, and changes with it.
TEST(SettingsDialog, EachLayoutIsExplainedInALine) {
    CSettingsDlg dlg;
    QLabel* note = dlg.findChild<QLabel*>(QStringLiteral("formatNote"));
    ASSERT_NE(note, nullptr);
    std::set<std::string> seen;
    for (int format = 0; format < 4; ++format) {
        dlg.m_pFormat->setCurrentIndex(format);
        EXPECT_EQ(note->text(), FormatExplanation(format));
        seen.insert(note->text().toStdString());
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_TRUE(FormatExplanation(2).startsWith(QStringLiteral("DSyyyymm.dd")));
    EXPECT_TRUE(FormatExplanation(1).contains(QStringLiteral("タブ区切り")));
}

// The folder is shown whole ("." is the working folder); OK keeps it as it was given unless
// the user picked another.
TEST(SettingsDialog, TheFolderIsShownWholeAndKeptAsGiven) {
    ScopedWorkDir dir;
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, ".");
    std::string shown;
    WhenModal(QStringLiteral("settingsDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CSettingsDlg*>(w);
        shown = dlg->m_pOutputDir->text().toStdString();
        dlg->accept();
    });
    ASSERT_TRUE(RunSettingsDialog(settings, nullptr));
    EXPECT_EQ(shown, dir.Path().string());
    EXPECT_STREQ(settings.m_szOutputDir, ".");
    EXPECT_EQ(WholeFolderPath(QStringLiteral("out/day")).toStdString(),
              (dir.Path() / "out/day").string());
    EXPECT_EQ(WholeFolderPath(QStringLiteral("/srv/tickora/")).toStdString(), "/srv/tickora");
}

// 変更 opens the chooser at the folder, in view, however deep it lies: "." is the working
// folder.
TEST(SettingsDialog, TheChooserOpensWithTheFolderInView) {
    ScopedWorkDir dir;
    std::filesystem::path deep = dir.Path();
    for (int level = 0; level < 12; ++level) {
        deep /= "level" + std::to_string(level);
    }
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, ".");
    std::string selected;
    bool inView = false;
    WhenModal(QStringLiteral("settingsDlg"), [&](QWidget* w) {
        WhenModal(QStringLiteral("folderBrowser"), [&](QWidget* b) {
            auto* chooser = static_cast<CFolderBrowserDlg*>(b);
            QTreeView* tree = chooser->Tree();
            inView = WaitUntil([&] {
                const QRect row = tree->visualRect(tree->currentIndex());
                return row.isValid() && tree->viewport()->rect().contains(row.center());
            });
            selected = chooser->SelectedFolder().toStdString();
            Reject(chooser);
        });
        w->findChild<QPushButton*>(QStringLiteral("button1001"))->click();
        Reject(w);
    });
    EXPECT_FALSE(RunSettingsDialog(settings, nullptr));
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(selected, deep.string());
    EXPECT_TRUE(inView) << "the working folder is out of sight";
}

TEST(SettingsDialog, StoredFormatOutsideTheListSelectsNothingAndStoresMinusOne) {
    ScopedWorkDir dir;
    CAppSettings settings;
    settings.m_nOutputFormat = 7;
    WhenModal(QStringLiteral("settingsDlg"), [](QWidget* w) {
        auto* dlg = static_cast<CSettingsDlg*>(w);
        EXPECT_EQ(dlg->m_pFormat->currentIndex(), -1);
        EXPECT_TRUE(dlg->m_pFormat->currentText().isEmpty());
        dlg->accept();
    });
    ASSERT_TRUE(RunSettingsDialog(settings, nullptr));
    EXPECT_EQ(settings.m_nOutputFormat, -1);
    const std::string bytes = ReadFileBytes(dir.Path() / "Tickora.ini");
    ASSERT_EQ(bytes.size(), 148u);
    EXPECT_EQ(bytes.substr(4, 4), std::string("\xFF\xFF\xFF\xFF", 4));
}

TEST(SettingsDialog, CancelAfterABrowseChangesNothing) {
    ScopedWorkDir dir;
    std::filesystem::create_directory(dir.Path() / "other");
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, dir.Path().string().c_str());
    CAppSettings before;
    before.CopyFrom(settings);
    WhenModal(QStringLiteral("settingsDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CSettingsDlg*>(w);
        dlg->m_pExitAfterFetch->click();
        ChooseFolderWhenAsked(QString::fromStdString((dir.Path() / "other").string()),
                              QString::fromStdString(dir.Path().string()));
        dlg->findChild<QPushButton*>(QStringLiteral("button1001"))->click();
        Reject(dlg);
    });
    EXPECT_FALSE(RunSettingsDialog(settings, nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Tickora.ini"));
    EXPECT_STREQ(settings.m_szOutputDir, before.m_szOutputDir);
    EXPECT_EQ(settings.m_bExitAfterFetch, before.m_bExitAfterFetch);
}

TEST(SettingsDialog, BrowserCancelledKeepsTheFolder) {
    ScopedWorkDir dir;
    CSettingsDlg dlg;
    dlg.m_strOutputDir = QString::fromStdString(dir.Path().string());
    WhenModal(QStringLiteral("settingsDlg"), [](QWidget* w) {
        auto* settings = static_cast<CSettingsDlg*>(w);
        WhenModal(QStringLiteral("folderBrowser"), Reject);
        settings->findChild<QPushButton*>(QStringLiteral("button1001"))->click();
        Reject(settings);
    });
    dlg.exec();
    EXPECT_EQ(dlg.m_pOutputDir->text().toStdString(), dir.Path().string());
}

TEST(SettingsDialog, FolderOverOneHundredTwentySevenBytesIsRefused) {
    ScopedWorkDir dir;
    // Each level is 10 full-width characters: 20 bytes in Shift-JIS.
    std::filesystem::path deep = dir.Path();
    while (Utf8ToSjis(deep.string()).size() <= 127) {
        deep /= "銘柄銘柄銘柄銘柄銘柄";
    }
    std::filesystem::create_directories(deep);
    CAppSettings settings;
    std::strcpy(settings.m_szOutputDir, dir.Path().string().c_str());
    bool refused = false;
    WhenModal(QStringLiteral("settingsDlg"), [&](QWidget* w) {
        auto* dlg = static_cast<CSettingsDlg*>(w);
        ChooseFolderWhenAsked(QString::fromStdString(deep.string()),
                              QString::fromStdString(dir.Path().string()));
        dlg->findChild<QPushButton*>(QStringLiteral("button1001"))->click();
        WhenModal(QStringLiteral("validationMessage"), [&](QWidget* box) {
            refused = true;
            Accept(box);
        });
        dlg->accept();
        EXPECT_TRUE(dlg->isVisible()) << "the dialog stays open";
        Reject(dlg);
    });
    EXPECT_FALSE(RunSettingsDialog(settings, nullptr));
    EXPECT_TRUE(refused);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Tickora.ini"));
    EXPECT_STREQ(settings.m_szOutputDir, dir.Path().string().c_str());
}

}  // namespace
}  // namespace tickora::gui
