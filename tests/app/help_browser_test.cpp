// SPDX-License-Identifier: GPL-3.0-or-later
// The user's guide inside the program: the guide the browser would get, its links moving
// through it, and a guide that is no regular file refused as every file of the working folder
// is.
#include "app/help_browser.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <filesystem>

#include "app/browser_command.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"

namespace tickora::gui {
namespace {

TEST(HelpBrowser, ShowsTheGuideAndItsLinksMoveThroughIt) {
    tickora::test::ScopedWorkDir dir;
    const std::string guide = UsersGuidePath();
    ASSERT_TRUE(std::filesystem::is_regular_file(guide)) << guide;
    CHelpBrowser help;
    ASSERT_TRUE(help.OpenGuide(guide));
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    QTextBrowser* text = help.Browser();
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("Tickora ユーザーズガイド")));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("困ったとき")));
    EXPECT_EQ(help.Message().toStdString(), guide);

    // A click on the contents' link to the last chapter scrolls there; 戻る comes back.
    const int top = text->verticalScrollBar()->value();
    const QTextCursor link = text->document()->find(QStringLiteral("困ったとき"));
    ASSERT_FALSE(link.isNull());
    QTextCursor inside = link;
    inside.setPosition(link.selectionStart() + 1);
    const QPoint at = text->cursorRect(inside).center();
    QTest::mouseClick(text->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    EXPECT_GT(text->verticalScrollBar()->value(), top);
    QPushButton* back = help.findChild<QPushButton*>(QStringLiteral("helpBack"));
    ASSERT_TRUE(back->isEnabled());
    back->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(text->verticalScrollBar()->value(), top);
}

TEST(HelpBrowser, AGuideThatIsNoRegularFileIsNotRead) {
    tickora::test::ScopedWorkDir dir;
    std::filesystem::create_directory("Documents");
    tickora::test::WriteFileBytes("elsewhere.html", "<html><body>not the guide</body></html>");
    std::filesystem::create_symlink(dir.Path() / "elsewhere.html", "Documents/index.html");
    CHelpBrowser help;
    EXPECT_FALSE(help.OpenGuide("Documents/index.html"));
    EXPECT_FALSE(help.Browser()->toPlainText().contains(QStringLiteral("not the guide")));
    EXPECT_TRUE(help.Message().contains(QStringLiteral("シンボリックリンク")))
        << help.Message().toStdString();
}

}  // namespace
}  // namespace tickora::gui
