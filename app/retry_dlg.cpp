// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/retry_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>

#include "app/dialog_title.h"
#include "app/outcome_ja.h"
#include "app/qt_text.h"
#include "app/runs_dlg.h"

namespace tickora::gui {
namespace {

constexpr std::size_t kCodesShown = 10;

QString RunJa(const RetryPlan& plan) {
    return QStringLiteral("前回 (%1) の%2")
        .arg(RunTimeJa(plan.last.record.endedAt),
             FromUtf8(JobNameJa(plan.last.record.outcome.job)));
}

QString CodesJa(const std::vector<int>& codes) {
    QStringList shown;
    for (std::size_t i = 0; i < codes.size() && i < kCodesShown; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%04d", codes[i]);
        shown << QString::fromLatin1(code);
    }
    QString text = shown.join(QStringLiteral(", "));
    if (codes.size() > kCodesShown) {
        text += QStringLiteral(" (他 %1 銘柄)")
                    .arg(FromUtf8(Thousands(static_cast<long long>(codes.size() - kCodesShown))));
    }
    return text;
}

// The options a kept run repeats, in words.
QString KeptOptionsJa(const RetryPlan& plan) {
    QStringList words;
    if (plan.last.job == RetryJob::kKdtAll) {
        words << QStringLiteral("取得日数 %1 日").arg(plan.options.days);
        words << (plan.options.update ? QStringLiteral("差分更新する")
                                   : QStringLiteral("差分更新しない"));
    } else {
        if (plan.options.keepHtml) {
            words << QStringLiteral("HTMLファイルを残す");
        }
        if (plan.options.addedOnly) {
            words << QStringLiteral("追加された銘柄の更新");
        }
        if (plan.options.useKeptHtml) {
            words << QStringLiteral("残したHTMLファイルを使う");
        }
    }
    return words.isEmpty() ? QStringLiteral("なし") : words.join(QStringLiteral("、"));
}

}  // namespace

QString RetrySentenceJa(const RetryPlan& plan, bool started) {
    const std::size_t notAsked = plan.last.record.outcome.notAskedCodes.size();
    const QString count = FromUtf8(Thousands(static_cast<long long>(plan.codes.size())));
    const QString verb =
        started ? QStringLiteral("再取得しています") : QStringLiteral("再取得します");
    if (notAsked == 0) {
        return QStringLiteral("%1で失敗した %2 銘柄を%3").arg(RunJa(plan), count, verb);
    }
    return QStringLiteral("%1で失敗した銘柄と、中断のため取得しなかった銘柄、合わせて %2 銘柄を%3")
        .arg(RunJa(plan), count, verb);
}

QString NothingToRetryJa(const RetryPlan& plan) {
    return RunJa(plan) + QStringLiteral("で失敗した銘柄はありません。再取得するものはありません");
}

CRetryDlg::CRetryDlg(const RetryPlan& plan, QWidget* parent) : QDialog(parent), m_plan(plan) {
    setObjectName(QStringLiteral("retryDlg"));
    setWindowTitle(QStringLiteral("失敗した銘柄を再取得"));
    KeepTitleWhole(this);
    auto* layout = new QVBoxLayout(this);
    m_pSentence = new QLabel(RetrySentenceJa(plan), this);
    m_pSentence->setObjectName(QStringLiteral("retrySentence"));
    m_pSentence->setWordWrap(true);
    layout->addWidget(m_pSentence);
    auto* form = new QFormLayout;
    auto* codes = new QLabel(CodesJa(plan.codes), this);
    codes->setObjectName(QStringLiteral("retryCodes"));
    codes->setWordWrap(true);
    form->addRow(QStringLiteral("銘柄："), codes);
    if (plan.optionsKept) {
        auto* kept = new QLabel(KeptOptionsJa(plan) + QStringLiteral(" (前回と同じ)"), this);
        kept->setObjectName(QStringLiteral("retryOptions"));
        form->addRow(QStringLiteral("設定："), kept);
    } else {
        AddAskedOptions(form);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    m_pRetry = buttons->addButton(QStringLiteral("再取得する"), QDialogButtonBox::AcceptRole);
    m_pRetry->setObjectName(QStringLiteral("retryButton"));
    buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    m_pRetry->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_pRetry->setFocus();
}

void CRetryDlg::AddAskedOptions(QFormLayout* form) {
    auto* why = new QLabel(
        QStringLiteral("前回の記録には設定が残っていないため、設定を選んでください。"), this);
    why->setWordWrap(true);
    form->addRow(why);
    if (m_plan.last.job == RetryJob::kKdtAll) {
        m_pDays = new QSpinBox(this);
        m_pDays->setObjectName(QStringLiteral("retryDays"));
        m_pDays->setRange(10, 3000);
        m_pDays->setValue(static_cast<int>(m_plan.options.days));
        form->addRow(QStringLiteral("取得日数："), m_pDays);
        m_pUpdate = new QCheckBox(QStringLiteral("差分更新"), this);
        m_pUpdate->setChecked(m_plan.options.update);
        form->addRow(m_pUpdate);
        return;
    }
    m_pKeepHtml = new QCheckBox(QStringLiteral("HTMLファイルを残す"), this);
    m_pKeepHtml->setChecked(m_plan.options.keepHtml);
    m_pAddedOnly = new QCheckBox(QStringLiteral("追加された銘柄の更新"), this);
    m_pAddedOnly->setChecked(m_plan.options.addedOnly);
    m_pUseKeptHtml = new QCheckBox(QStringLiteral("残したHTMLファイルを使う"), this);
    m_pUseKeptHtml->setChecked(m_plan.options.useKeptHtml);
    form->addRow(m_pKeepHtml);
    form->addRow(m_pAddedOnly);
    form->addRow(m_pUseKeptHtml);
}

RetryPlan CRetryDlg::Plan() const {
    RetryPlan plan = m_plan;
    if (m_pDays != nullptr) {
        plan.options.days = static_cast<unsigned>(m_pDays->value());
        plan.options.update = m_pUpdate->isChecked();
    }
    if (m_pKeepHtml != nullptr) {
        plan.options.keepHtml = m_pKeepHtml->isChecked();
        plan.options.addedOnly = m_pAddedOnly->isChecked();
        plan.options.useKeptHtml = m_pUseKeptHtml->isChecked();
    }
    return plan;
}

}  // namespace tickora::gui
