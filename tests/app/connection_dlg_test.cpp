// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog "接続設定" against the file and the terminal: what it saves is what tickora-cli
// then reads, a bad address keeps it open naming the key, and the settings take effect at once.
// Also the desktop program's own command line, read before any window exists.
#include "app/connection_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/desktop_args.h"
#include "catalog/connection_settings.h"
#include "cli/runner.h"
#include "jobs/startup.h"
#include "tests/support/gui_test_util.h"
#include "tests/support/temp_dir.h"
#include "text/sjis.h"
#include "web/connections.h"

namespace tickora::gui {
namespace {

using test::WhenModal;
using tickora::test::ReadFileBytes;
using tickora::test::ScopedWorkDir;
using tickora::test::WriteFileBytes;

// Keeps the connection variables unset before and after.
class ConnectionDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const ConnectionKeyInfo& info : ConnectionKeys()) {
            unsetenv(info.envVar);
        }
    }
    void TearDown() override {
        for (const ConnectionKeyInfo& info : ConnectionKeys()) {
            unsetenv(info.envVar);
        }
    }

    static std::string CliSettingsOutput() {
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&buffer, &size);
        std::FILE* err = std::tmpfile();
        std::atomic<int> interrupts{0};
        const int status = cli::CliMain({"settings"}, {out, err, false}, interrupts);
        std::fclose(out);
        std::fclose(err);
        std::string text(buffer, size);
        std::free(buffer);
        EXPECT_EQ(status, 0);
        return text;
    }

    ScopedWorkDir m_dir;
    StartupObjects m_objects;
    SiteAccess m_access;  // what the program's jobs would be given
};

TEST_F(ConnectionDialog, WhatOkSavesIsWhatTheTerminalReadsAndIsInForceAtOnce) {
    WriteFileBytes("market.csv", Utf8ToSjis("1,T, 東証1部\r\n"));
    WriteFileBytes("fetchlist.csv", "1301,1301,T,x\r\n");
    LoadStartupObjects(m_objects, m_access.hosts);
    ASSERT_EQ(m_objects.stocks.m_nBlocks, 1);
    ConnectionLayer commandLine;
    commandLine.retries = 9;  // the desktop's own --retries stays over the file

    QString note;
    QString overrides;
    WhenModal(QStringLiteral("connectionDialog"), [&](QWidget* w) {
        auto* dlg = static_cast<CConnectionDlg*>(w);
        EXPECT_EQ(dlg->windowTitle().toStdString(), "接続設定");
        note = dlg->findChild<QLabel*>(QStringLiteral("defaultNote"))->text();
        overrides = dlg->m_pOverrides->text();
        EXPECT_EQ(dlg->m_pPageTimeout->value(), 300);
        dlg->m_pSite->setText(QStringLiteral("http://quotes.example:8053/"));
        dlg->m_pProfileHost->setText(QStringLiteral("https://profiles.example"));
        dlg->m_pRetries->setValue(3);
        dlg->m_pConnections->setValue(4);
        EXPECT_EQ(dlg->m_pStreams->value(), 16);
        EXPECT_EQ(dlg->m_pHttp2->currentData().toString(), QStringLiteral("auto"));
        dlg->m_pHttp2->setCurrentIndex(dlg->m_pHttp2->findData(QStringLiteral("prior-knowledge")));
        dlg->m_pCaFile->setText(QStringLiteral("/etc/ssl/会社CA.pem"));
        dlg->m_pProxy->setText(QStringLiteral("socks5://proxy.example:1080"));
        dlg->accept();
    });
    const QString message = RunConnectionDialog(nullptr, m_objects, false, commandLine, m_access);
    EXPECT_TRUE(message.contains(QStringLiteral("connection.toml"))) << message.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("模擬サイト"))) << note.toStdString();
    EXPECT_TRUE(note.contains(QString::fromLatin1(kDefaultSite)));
    EXPECT_TRUE(overrides.contains(QStringLiteral("--retries"))) << overrides.toStdString();

    EXPECT_EQ(ReadFileBytes(kConnectionFileName).find("page_timeout"), std::string::npos)
        << "a default the user left alone stays out of the file";
    const std::string printed = CliSettingsOutput();
    EXPECT_NE(printed.find("quote-host: http://quotes.example:8053/ (connection.toml)\n"
                           "table-host: http://quotes.example:8053/ (connection.toml)\n"
                           "profile-host: https://profiles.example (connection.toml)\n"
                           "retries: 3 (connection.toml)\npace: 0 ms (default)\n"
                           "page-timeout: 300 s (default)\nconnections: 4 (connection.toml)\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("streams: 16 (default)\nhttp2: prior-knowledge (connection.toml)\n"
                           "ca-file: /etc/ssl/会社CA.pem (connection.toml)\n"
                           "proxy: socks5://proxy.example:1080 (connection.toml)\n"
                           "no-proxy: none (default)\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(ReadFileBytes(kConnectionFileName).find("streams"), std::string::npos);
    EXPECT_EQ(m_access.transport.http2, Http2Mode::kPriorKnowledge);
    EXPECT_EQ(m_access.transport.proxy, "socks5://proxy.example:1080");

    EXPECT_EQ(m_access.hosts.quote, "http://quotes.example:8053");
    EXPECT_EQ(m_access.retry.retries, 9);
    EXPECT_EQ(
        std::string(m_objects.stocks.GetQuoteUrl(0)).rfind("http://quotes.example:8053/q?s=", 0),
        0u)
        << "the list's quote address follows the new host";
}

TEST_F(ConnectionDialog, ABadAddressKeepsItOpenNamingTheKeyAndAFileItCannotReadIsShown) {
    WriteFileBytes(kConnectionFileName, "retries = 2\nconnections = 40\n");
    int attempts = 0;
    QString error;
    QString loadError;
    WhenModal(QStringLiteral("connectionDialog"), [&](QWidget* w) {
        auto* dlg = static_cast<CConnectionDlg*>(w);
        loadError = dlg->m_pError->text();
        EXPECT_EQ(dlg->m_pRetries->value(), 2) << "the good keys are shown";
        dlg->m_pTableHost->setText(QStringLiteral("tables.example"));
        dlg->accept();
        ++attempts;
        EXPECT_TRUE(dlg->isVisible());
        error = dlg->m_pError->text();
        dlg->reject();
    });
    EXPECT_TRUE(RunConnectionDialog(nullptr, m_objects, false, {}, m_access).isEmpty());
    EXPECT_EQ(attempts, 1);
    // In Japanese, naming the key as the file and the command line name it.
    EXPECT_TRUE(loadError.contains(
        QStringLiteral("connections は 1 から 16 までの整数にしてください (値: 40)")))
        << loadError.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral(
        "table_host は http:// か https:// で始まり、ホスト名を含む URL にしてください (値: "
        "'tables.example')")))
        << error.toStdString();
    EXPECT_EQ(ReadFileBytes(kConnectionFileName), "retries = 2\nconnections = 40\n");

    EXPECT_FALSE(RunConnectionDialog(nullptr, m_objects, true, {}, m_access).isEmpty())
        << "refused while a job runs";
}

struct ArgsCase {
    std::vector<std::string> args;
    const char* error;  // nullptr when the line is good
};

TEST(DesktopArgs, OursAreTakenTheToolkitsHandedOnAndMistakesNamed) {
    const ArgsCase cases[] = {
        {{"tickora"}, nullptr},
        {{"tickora", "--help"}, nullptr},
        {{"tickora", "--workdir", "w", "--site=http://s", "--retries", "2", "--connections=3"},
         nullptr},
        {{"tickora", "-platform", "offscreen", "--style", "fusion", "-reverse"}, nullptr},
        {{"tickora", "--bogus"}, "unknown option '--bogus'"},
        {{"tickora", "file.txt"}, "unexpected argument 'file.txt'"},
        {{"tickora", "--site", "ftp://s"}, "--site must be an http:// or https:// URL"},
        {{"tickora", "--page-timeout", "0"},
         "--page-timeout must be a whole number from 1 to 3600"},
        {{"tickora", "--workdir"}, "--workdir needs a value"},
        // tickora-cli's rules, from its table: no one-dash form of ours, no option as a value,
        // nothing twice, no empty connection value, and --help ends the line.
        {{"tickora", "-site", "http://s"}, "unknown option '-site'"},
        {{"tickora", "--site", "--workdir", "w"}, "--site needs a value"},
        {{"tickora", "--retries", "1", "--retries=2"}, "--retries is given twice"},
        {{"tickora", "--site="}, "--site needs a value"},
        {{"tickora", "--chart", "+5"}, "--chart needs a stock code from 0 to 9999"},
        {{"tickora", "--quit-when-shown=1"}, "--quit-when-shown takes no value"},
        {{"tickora", "--json"}, "unknown option '--json'"},
        {{"tickora", "--help", "--bogus"}, nullptr},
        {{"tickora", "-platform"}, "-platform needs a value"},
        {{"tickora", "--streams", "8", "--http2=off", "--no-proxy", "h", "--chart", "9999"},
         nullptr},
    };
    for (const ArgsCase& c : cases) {
        const DesktopArgs parsed = ParseDesktopArgs(c.args);
        EXPECT_EQ(parsed.ok, c.error == nullptr) << c.args.back();
        if (c.error != nullptr) {
            EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
        }
    }
    const DesktopArgs parsed = ParseDesktopArgs(cases[2].args);
    EXPECT_EQ(parsed.workdir, "w");
    EXPECT_EQ(parsed.connection.site, "http://s");
    EXPECT_EQ(parsed.connection.retries, 2);
    EXPECT_EQ(parsed.connection.connections, 3);
    EXPECT_EQ(ParseDesktopArgs(cases[3].args).toolkitArgs,
              (std::vector<std::string>{"tickora", "-platform", "offscreen", "-style", "fusion",
                                        "-reverse"}));
}

}  // namespace
}  // namespace tickora::gui
