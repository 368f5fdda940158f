// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options dialogs of the fetch-list, price-history and company-profile jobs. Members carry
// the values as the dialogs always exchanged them; exec() loads them into the controls and OK
// stores them back after validation.
#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace tickora::gui {

// The jobs whose options are the three HTML switches; each words its dialog its own way.
enum class HtmlOptionsJob { kList, kProfiles };

// The three options of the list and profile jobs, all cleared when the dialog opens.
class CHtmlOptionsDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CHtmlOptionsDlg(HtmlOptionsJob job, QWidget* parent = nullptr);
    int exec() override;
    void accept() override;

    int m_bKeepHtml = 0;
    int m_bAddedOnly = 0;
    int m_bUseKeptHtml = 0;

    QCheckBox* m_pKeepHtml;
    QCheckBox* m_pAddedOnly;
    QCheckBox* m_pUseKeptHtml;
};

// "fetchlist.csvを生成".
class CListOptionsDlg : public CHtmlOptionsDlg {
  public:
    explicit CListOptionsDlg(QWidget* parent = nullptr)
        : CHtmlOptionsDlg(HtmlOptionsJob::kList, parent) {}
};

// "銘柄基本情報の取得": the same three options under the profile job's wording.
class CProfileOptionsDlg : public CHtmlOptionsDlg {
  public:
    explicit CProfileOptionsDlg(QWidget* parent = nullptr)
        : CHtmlOptionsDlg(HtmlOptionsJob::kProfiles, parent) {}
};

// The outcome of reading an unsigned field against its range.
enum class FieldCheck { kOk, kNotANumber, kOutOfRange };
[[nodiscard]] FieldCheck ParseUnsignedField(const QString& text, unsigned min, unsigned max,
                                            unsigned* value);
// The message shown when a field is refused.
[[nodiscard]] QString FieldCheckMessage(FieldCheck check, unsigned min, unsigned max);

// "銘柄指定": the stock code (0..9999), the days (10..3000), when allowed "全銘柄", and
// "差分更新".
class CCodeDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CCodeDlg(bool showAllStocks, QWidget* parent = nullptr);
    int exec() override;
    void accept() override;

    // Controls to members in the order days, check, code; the first refused field gets the
    // focus and its message. Returns whether every field was taken.
    bool ExchangeFromControls(QString* message, QLineEdit** refused);

    unsigned m_nCode = 0;
    unsigned m_nDays = 0;
    int m_bAllStocks = 0;
    int m_bUpdate = 0;  // "差分更新"
    int m_bShowAllStocks = 0;

    QLineEdit* m_pCode;
    QLineEdit* m_pDays;
    QCheckBox* m_pAllStocks;
    QCheckBox* m_pUpdate;

  private slots:
    void OnAllStocks();

  private:
    void LoadControls();
};

}  // namespace tickora::gui
