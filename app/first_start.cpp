// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/first_start.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>
#include <optional>
#include <string>

#include "app/settings_dlg.h"
#include "jobs/job_outcome.h"
#include "text/sjis.h"
#include "web/hosts.h"

namespace tickora::gui {
namespace {

// libcurl's words when no connection was made at all.
bool IsConnectFailure(const std::string& cause) {
    for (const char* words : {"Failed to connect", "Couldn't connect", "Could not resolve",
                              "Connection refused", "Couldn't resolve"}) {
        if (cause.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool OfferToBuildList(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tickora"),
                    QStringLiteral("fetchlist.csv に銘柄がないため、取得するものがありません。"),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("emptyListOffer"));
    box.setInformativeText(
        QStringLiteral("金融情報サイトの銘柄一覧から fetchlist.csv を今すぐ生成しますか?"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("fetchlist.csv生成..."));
    box.button(QMessageBox::No)->setText(QStringLiteral("閉じる"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool OfferToCreateFolder(QWidget* parent, const QString& folder) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tickora"),
                    QStringLiteral("出力先ディレクトリ %1 がありません。").arg(folder),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("outputFolderOffer"));
    box.setInformativeText(QStringLiteral("作成してから取得を始めますか?"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("作成する"));
    box.button(QMessageBox::No)->setText(QStringLiteral("取得しない"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString VisibleOutputFolder() {
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == QDir::rootPath()) {
        return {};
    }
    const QString folder = QDir::cleanPath(home + QStringLiteral("/Tickora"));
    const std::optional<std::string> sjis = Utf8ToSjisExact(folder.toStdString());
    if (!sjis || sjis->size() > static_cast<std::size_t>(kMaxOutputDirBytes)) {
        return {};
    }
    return folder;
}

bool OffersVisibleOutputFolder(const QString& workFolder, bool settingsSaved,
                               const std::string& outputDir) {
    if (settingsSaved || (outputDir != "." && !outputDir.empty())) {
        return false;
    }
    for (const QString& part : QDir::cleanPath(workFolder).split(QLatin1Char('/'))) {
        if (part.startsWith(QLatin1Char('.')) && part != QLatin1String(".")) {
            return true;
        }
    }
    return false;
}

bool OfferVisibleOutputFolder(QWidget* parent, const QString& folder, const QString& workFolder) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tickora"),
                    QStringLiteral("株取虫ファイルなどの出力先を %1 にしますか?")
                        .arg(QDir::toNativeSeparators(folder)),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setObjectName(QStringLiteral("visibleFolderOffer"));
    box.setInformativeText(
        QStringLiteral("いまの作業フォルダ %1 は隠しフォルダの中にあり、チャートソフトのファイルを"
                       "開く画面からは見つけにくい場所です。出力先はあとから 編集 > 初期設定... "
                       "で変えられます。")
            .arg(QDir::toNativeSeparators(workFolder)));
    box.button(QMessageBox::Yes)
        ->setText(QStringLiteral("%1 に出力する").arg(QDir::toNativeSeparators(folder)));
    box.button(QMessageBox::No)->setText(QStringLiteral("作業フォルダに出力する"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool SiteUnreachable(const JobOutcome& outcome) {
    if (outcome.failures.empty() || outcome.end == JobEnd::kCancelled) {
        return false;
    }
    for (const ItemFailure& failure : outcome.failures) {
        if (!IsConnectFailure(failure.cause)) {
            return false;
        }
    }
    // Some page arrived: the site was there, and what failed is for the results to tell.
    return outcome.extracted == 0 && outcome.stocksListed == 0;
}

int TrialSitePort(const SiteHosts& hosts) {
    const QUrl quote(QString::fromStdString(hosts.quote));
    if (hosts.table != hosts.quote || hosts.profile != hosts.quote || quote.scheme() != "http" ||
        !(quote.path().isEmpty() || quote.path() == "/")) {
        return 0;
    }
    const QString host = quote.host();
    if (host != QStringLiteral("127.0.0.1") && host != QStringLiteral("localhost")) {
        return 0;
    }
    return quote.port(80);
}

UnreachableChoice OfferForUnreachableSite(QWidget* parent, const QString& site,
                                          bool trialPossible) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tickora"),
                    QStringLiteral("金融情報サイト %1 に接続できません。").arg(site), QMessageBox::NoButton,
                    parent);
    box.setObjectName(QStringLiteral("siteUnreachable"));
    QString info = QStringLiteral("サイトのアドレスは 編集 > 接続設定... で変えられます。");
    if (trialPossible) {
        info += QStringLiteral(
            "\nこのアドレスは試用のための模擬サイトです。インストールされている tickora-site を"
            "起動して試すこともできます (このプログラムの終了時に止めます)。");
    }
    box.setInformativeText(info);
    QPushButton* settings = box.addButton(QStringLiteral("接続設定..."), QMessageBox::ActionRole);
    settings->setObjectName(QStringLiteral("openConnectionSettings"));
    QPushButton* trial = nullptr;
    if (trialPossible) {
        trial = box.addButton(QStringLiteral("試用サイトを起動"), QMessageBox::ActionRole);
        trial->setObjectName(QStringLiteral("startTrialSite"));
    }
    box.addButton(QStringLiteral("閉じる"), QMessageBox::RejectRole);
    // The way on is the default: the trial where it is possible, else the settings.
    box.setDefaultButton(trial != nullptr ? trial : settings);
    box.exec();
    if (box.clickedButton() == settings) {
        return UnreachableChoice::kConnectionSettings;
    }
    if (trial != nullptr && box.clickedButton() == trial) {
        return UnreachableChoice::kStartTrialSite;
    }
    return UnreachableChoice::kClose;
}

TrialSite::TrialSite() = default;

TrialSite::~TrialSite() {
    Stop();
}

QString TrialSite::Program() const {
    if (!m_program.isEmpty()) {
        return m_program;
    }
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/tickora-site");
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return QStandardPaths::findExecutable(QStringLiteral("tickora-site"));
}

bool TrialSite::Start(int port, QString* why) {
    Stop();
    const QString program = Program();
    if (program.isEmpty()) {
        *why = QStringLiteral("tickora-site が見つかりません (パッケージ tickora に含まれます)");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    m_process->setArguments({QStringLiteral("--port"), QString::number(port)});
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start();
    if (!m_process->waitForStarted(5000)) {
        *why = QStringLiteral("%1 を起動できません: %2").arg(program, m_process->errorString());
        m_process.reset();
        return false;
    }
    // It answers once its port is open; a port already taken ends it at once.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running) {
            *why = QStringLiteral("tickora-site が終了しました (ポート %1 は使用中かもしれません)")
                       .arg(port);
            m_process.reset();
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
        if (probe.waitForConnected(200)) {
            return true;
        }
        QThread::msleep(50);
    }
    *why = QStringLiteral("tickora-site がポート %1 で応答しません").arg(port);
    Stop();
    return false;
}

void TrialSite::Stop() {
    if (!m_process) {
        return;
    }
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
    m_process.reset();
}

bool TrialSite::Running() const {
    return m_process && m_process->state() == QProcess::Running;
}

}  // namespace tickora::gui
