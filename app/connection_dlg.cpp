// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/connection_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/dialog_buttons.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "jobs/startup.h"
#include "web/hosts.h"

namespace tickora::gui {
namespace {

QSpinBox* NumberBox(ConnectionKey key, const QString& suffix, QWidget* parent) {
    const ConnectionKeyInfo& info = InfoOf(key);
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(info.fileKey));
    box->setRange(info.min, info.max);
    box->setSuffix(suffix);
    return box;
}

QLineEdit* UrlEdit(ConnectionKey key, const QString& placeholder, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(InfoOf(key).fileKey));
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    return edit;
}

// The defaults, as the merge gives them with no layer at all.
const ConnectionSettings& Defaults() {
    static const ConnectionSettings defaults = MergeConnectionLayers({}, {}, {});
    return defaults;
}

int DefaultNumber(ConnectionKey key) {
    const ConnectionSettings& d = Defaults();
    switch (key) {
        case ConnectionKey::kRetries:
            return d.retries.value;
        case ConnectionKey::kPaceMs:
            return d.paceMs.value;
        case ConnectionKey::kPageTimeout:
            return d.pageTimeout.value;
        case ConnectionKey::kConnections:
            return d.connections.value;
        case ConnectionKey::kStreams:
            return d.streams.value;
        default:
            return 0;
    }
}

}  // namespace

CConnectionDlg::CConnectionDlg(QString path, QWidget* parent)
    : QDialog(parent), m_strPath(std::move(path)) {
    setObjectName(QStringLiteral("connectionDialog"));
    setWindowTitle(QStringLiteral("接続設定"));
    auto* layout = new QVBoxLayout(this);

    auto* note = new QLabel(
        QStringLiteral("既定では、ループバック上の模擬サイト (tickora-site, %1) に接続します。")
            .arg(FromUtf8(kDefaultSite)),
        this);
    note->setObjectName(QStringLiteral("defaultNote"));
    note->setWordWrap(true);
    layout->addWidget(note);

    layout->addWidget(SiteGroup());
    layout->addWidget(TransferGroup());
    layout->addWidget(NetworkGroup());
    AddStatusLabels(layout);

    layout->addWidget(OkCancelButtons(this, ButtonPlacement::kCentered));
    setMinimumWidth(480);

    SetLayer({}, {}, {});
}

QGroupBox* CConnectionDlg::SiteGroup() {
    auto* site = new QGroupBox(QStringLiteral("金融情報サイト"), this);
    auto* siteForm = new QFormLayout(site);
    m_pSite = UrlEdit(ConnectionKey::kSite, FromUtf8(kDefaultSite), site);
    siteForm->addRow(QStringLiteral("サイト (site)："), m_pSite);
    const QString sameAsSite = QStringLiteral("空欄ならサイトと同じ");
    m_pQuoteHost = UrlEdit(ConnectionKey::kQuoteHost, sameAsSite, site);
    siteForm->addRow(QStringLiteral("株価・一覧 (quote_host)："), m_pQuoteHost);
    m_pTableHost = UrlEdit(ConnectionKey::kTableHost, sameAsSite, site);
    siteForm->addRow(QStringLiteral("時系列 (table_host)："), m_pTableHost);
    m_pProfileHost = UrlEdit(ConnectionKey::kProfileHost, sameAsSite, site);
    siteForm->addRow(QStringLiteral("基本情報 (profile_host)："), m_pProfileHost);
    return site;
}

QGroupBox* CConnectionDlg::TransferGroup() {
    auto* transfer = new QGroupBox(QStringLiteral("ダウンロード"), this);
    auto* transferForm = new QFormLayout(transfer);
    m_pRetries = NumberBox(ConnectionKey::kRetries, QStringLiteral(" 回"), transfer);
    transferForm->addRow(QStringLiteral("再試行 (retries)："), m_pRetries);
    m_pPace = NumberBox(ConnectionKey::kPaceMs, QStringLiteral(" ミリ秒"), transfer);
    transferForm->addRow(QStringLiteral("要求の間隔 (pace_ms)："), m_pPace);
    m_pPageTimeout = NumberBox(ConnectionKey::kPageTimeout, QStringLiteral(" 秒"), transfer);
    transferForm->addRow(QStringLiteral("ページのタイムアウト (page_timeout)："), m_pPageTimeout);
    m_pConnections = NumberBox(ConnectionKey::kConnections, QString(), transfer);
    transferForm->addRow(QStringLiteral("同時接続数 (connections)："), m_pConnections);
    m_pStreams = NumberBox(ConnectionKey::kStreams, QString(), transfer);
    m_pStreams->setToolTip(
        QStringLiteral("HTTP/2 の1接続で同時に送る要求の数です。サイトの上限が優先されます。"));
    transferForm->addRow(QStringLiteral("1接続の同時要求数 (streams)："), m_pStreams);
    return transfer;
}

QGroupBox* CConnectionDlg::NetworkGroup() {
    auto* network = new QGroupBox(QStringLiteral("HTTP/2・証明書・プロキシ"), this);
    auto* networkForm = new QFormLayout(network);
    m_pHttp2 = new QComboBox(network);
    m_pHttp2->setObjectName(QString::fromLatin1(InfoOf(ConnectionKey::kHttp2).fileKey));
    m_pHttp2->addItem(QStringLiteral("自動 (TLS で使えれば HTTP/2)"),
                      QString::fromLatin1(Http2ModeName(Http2Mode::kAuto)));
    m_pHttp2->addItem(QStringLiteral("常に HTTP/2 (暗号化なしでも)"),
                      QString::fromLatin1(Http2ModeName(Http2Mode::kPriorKnowledge)));
    m_pHttp2->addItem(QStringLiteral("使わない (HTTP/1.1)"),
                      QString::fromLatin1(Http2ModeName(Http2Mode::kOff)));
    networkForm->addRow(QStringLiteral("HTTP/2 (http2)："), m_pHttp2);
    m_pCaFile =
        UrlEdit(ConnectionKey::kCaFile, QStringLiteral("空欄ならシステムの証明書のみ"), network);
    networkForm->addRow(QStringLiteral("追加の CA 証明書 (ca_file)："), m_pCaFile);
    m_pProxy = UrlEdit(ConnectionKey::kProxy,
                       QStringLiteral("http://proxy:8080 または socks5://..."), network);
    networkForm->addRow(QStringLiteral("プロキシ (proxy)："), m_pProxy);
    m_pNoProxy =
        UrlEdit(ConnectionKey::kNoProxy, QStringLiteral("例: localhost,127.0.0.1"), network);
    networkForm->addRow(QStringLiteral("プロキシを使わないホスト (no_proxy)："), m_pNoProxy);
    auto* verified = new QLabel(QStringLiteral("サーバー証明書は常に検証します。"), network);
    verified->setWordWrap(true);
    networkForm->addRow(verified);
    return network;
}

// The file's name, then what overrides it and why the last OK failed (both hidden until needed).
void CConnectionDlg::AddStatusLabels(QVBoxLayout* layout) {
    auto* file =
        new QLabel(QStringLiteral("保存先: %1").arg(QDir::toNativeSeparators(m_strPath)), this);
    file->setWordWrap(true);
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(file);
    m_pOverrides = new QLabel(this);
    m_pOverrides->setObjectName(QStringLiteral("overrides"));
    m_pOverrides->setWordWrap(true);
    m_pOverrides->hide();
    layout->addWidget(m_pOverrides);
    m_pError = new QLabel(this);
    m_pError->setObjectName(QStringLiteral("error"));
    m_pError->setWordWrap(true);
    m_pError->setStyleSheet(QStringLiteral("color: #b00000"));
    m_pError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pError->hide();
    layout->addWidget(m_pError);
}

void CConnectionDlg::SetLayer(const ConnectionLayer& layer,
                              const std::vector<std::string>& loadErrors,
                              const std::vector<std::string>& overriddenBy) {
    m_loaded = layer;
    m_pSite->setText(FromUtf8(layer.site.value_or("")));
    m_pQuoteHost->setText(FromUtf8(layer.quoteHost.value_or("")));
    m_pTableHost->setText(FromUtf8(layer.tableHost.value_or("")));
    m_pProfileHost->setText(FromUtf8(layer.profileHost.value_or("")));
    const ConnectionSettings& d = Defaults();
    m_pRetries->setValue(layer.retries.value_or(d.retries.value));
    m_pPace->setValue(layer.paceMs.value_or(d.paceMs.value));
    m_pPageTimeout->setValue(layer.pageTimeout.value_or(d.pageTimeout.value));
    m_pConnections->setValue(layer.connections.value_or(d.connections.value));
    m_pStreams->setValue(layer.streams.value_or(d.streams.value));
    const int mode = m_pHttp2->findData(FromUtf8(layer.http2.value_or(d.http2.value)));
    m_pHttp2->setCurrentIndex(std::max(mode, 0));
    m_pCaFile->setText(FromUtf8(layer.caFile.value_or("")));
    m_pProxy->setText(FromUtf8(layer.proxy.value_or("")));
    m_pNoProxy->setText(FromUtf8(layer.noProxy.value_or("")));

    QStringList overrides;
    for (const std::string& origin : overriddenBy) {
        overrides << FromUtf8(origin);
    }
    m_pOverrides->setText(
        QStringLiteral("次の指定がこのファイルより優先されています: %1").arg(overrides.join(", ")));
    m_pOverrides->setVisible(!overrides.isEmpty());

    QStringList errors;
    for (const std::string& error : loadErrors) {
        errors << FromUtf8(PhraseJa(error));
    }
    if (!errors.isEmpty()) {
        errors << QStringLiteral("OK で保存すると、読めなかった値は消えます。");
    }
    m_pError->setText(errors.join(QLatin1Char('\n')));
    m_pError->setVisible(!errors.isEmpty());
}

ConnectionLayer CConnectionDlg::Layer(std::vector<std::string>& errors) const {
    ConnectionLayer layer;
    const std::pair<QLineEdit*, ConnectionKey> urls[] = {
        {m_pSite, ConnectionKey::kSite},           {m_pQuoteHost, ConnectionKey::kQuoteHost},
        {m_pTableHost, ConnectionKey::kTableHost}, {m_pProfileHost, ConnectionKey::kProfileHost},
        {m_pCaFile, ConnectionKey::kCaFile},       {m_pProxy, ConnectionKey::kProxy},
        {m_pNoProxy, ConnectionKey::kNoProxy},
    };
    for (const auto& [edit, key] : urls) {
        const std::string text = edit->text().trimmed().toStdString();
        if (text.empty()) {
            continue;
        }
        if (std::string rule = SetFromText(layer, key, text); !rule.empty()) {
            errors.push_back(std::string(InfoOf(key).fileKey) + " " + rule + " (got '" + text +
                             "')");
        }
    }
    const std::pair<QSpinBox*, ConnectionKey> numbers[] = {
        {m_pRetries, ConnectionKey::kRetries},
        {m_pPace, ConnectionKey::kPaceMs},
        {m_pPageTimeout, ConnectionKey::kPageTimeout},
        {m_pConnections, ConnectionKey::kConnections},
        {m_pStreams, ConnectionKey::kStreams},
    };
    for (const auto& [box, key] : numbers) {
        // Through the same check as the file and the command line, not the box's own bounds.
        const std::string text = std::to_string(box->value());
        ConnectionLayer probe;
        if (std::string rule = SetFromText(probe, key, text); !rule.empty()) {
            errors.push_back(std::string(InfoOf(key).fileKey) + " " + rule + " (got " + text + ")");
            continue;
        }
        // A default the file never held stays out of it, so that it follows the program's.
        if (m_loaded.Has(key) || box->value() != DefaultNumber(key)) {
            layer.SetNumber(key, box->value());
        }
    }
    const std::string mode = m_pHttp2->currentData().toString().toStdString();
    if (m_loaded.Has(ConnectionKey::kHttp2) || mode != Defaults().http2.value) {
        (void)SetFromText(layer, ConnectionKey::kHttp2, mode);
    }
    return layer;
}

void CConnectionDlg::accept() {
    std::vector<std::string> errors;
    const ConnectionLayer layer = Layer(errors);
    if (errors.empty()) {
        if (std::string error = SaveConnectionFile(layer, m_strPath.toStdString());
            !error.empty()) {
            errors.push_back(error);
        }
    }
    if (!errors.empty()) {
        QStringList lines;
        for (const std::string& error : errors) {
            lines << FromUtf8(PhraseJa(error));
        }
        m_pError->setText(lines.join(QLatin1Char('\n')));
        m_pError->show();
        return;
    }
    m_saved = layer;
    QDialog::accept();
}

QString RunConnectionDialog(QWidget* parent, StartupObjects& objects, bool jobRunning,
                            const ConnectionLayer& commandLine, SiteAccess& access) {
    if (jobRunning) {
        return QStringLiteral("処理の実行中は接続設定を変更できません");
    }
    const QString path = QDir::current().absoluteFilePath(QString::fromLatin1(kConnectionFileName));
    const LayerLoad file = LoadConnectionFile(path.toStdString());
    const LayerLoad environment = ConnectionLayerFromEnvironment();
    const ConnectionSettings merged =
        MergeConnectionLayers(file.layer, environment.layer, commandLine);
    std::vector<std::string> overriddenBy;
    for (const std::string* origin :
         {&merged.quoteHost.origin, &merged.tableHost.origin, &merged.profileHost.origin,
          &merged.retries.origin, &merged.paceMs.origin, &merged.pageTimeout.origin,
          &merged.connections.origin, &merged.streams.origin, &merged.http2.origin,
          &merged.caFile.origin, &merged.proxy.origin, &merged.noProxy.origin}) {
        if (*origin != "default" && *origin != kConnectionFileName &&
            std::find(overriddenBy.begin(), overriddenBy.end(), *origin) == overriddenBy.end()) {
            overriddenBy.push_back(*origin);
        }
    }

    CConnectionDlg dialog(path, parent);
    dialog.SetLayer(file.layer, file.errors, overriddenBy);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    access = SiteAccessOf(MergeConnectionLayers(dialog.Saved(), environment.layer, commandLine));
    // The quote addresses were composed on the old host when the list was loaded.
    for (auto& block : objects.stocks.m_ppBlocks) {
        block->BuildUrls(objects.markets, access.hosts.quote.c_str());
    }
    if (!environment.errors.empty()) {
        return FromUtf8(PhraseJa(environment.errors.front()));
    }
    return QStringLiteral("接続設定を %1 に保存しました").arg(QDir::toNativeSeparators(path));
}

}  // namespace tickora::gui
