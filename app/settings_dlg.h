// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings dialog "初期設定" and the folder chooser behind its "変更" button.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeView;
class QFileSystemModel;

namespace tickora {
class CAppSettings;
}

namespace tickora::gui {

// The modal folder chooser "フォルダの参照": an instruction above the folder tree.
class CFolderBrowserDlg : public QDialog {
    Q_OBJECT

  public:
    CFolderBrowserDlg(const QString& instruction, QWidget* parent);
    // Selects folder, opens the tree down to it and keeps it in view while the folders above it
    // are still being read; false when it is not a folder.
    bool SelectFolder(const QString& folder);
    // The selected folder's path; empty when nothing is selected.
    [[nodiscard]] QString SelectedFolder() const;
    [[nodiscard]] QTreeView* Tree() const { return m_pTree; }

  private:
    QFileSystemModel* m_pModel;
    QTreeView* m_pTree;
};

class CFolderBrowser {
  public:
    CFolderBrowser(QString title, QString initialFolder, QWidget* owner);
    void SetInitialFolder(const QString& folder) { m_strInitialFolder = folder; }
    // 1 when a folder was chosen and its path obtained, else 0.
    int Browse();
    [[nodiscard]] QString GetPath() const { return m_strPath; }

    QString m_strTitle;
    QWidget* m_pOwner;
    QString m_strPath;
    QString m_strInitialFolder;
};

// The combo box items in list order: the dialog's four items sorted as the sorted list control
// orders them, so that each index is the stored format number.
[[nodiscard]] QStringList SortedFormatItems();

// One line on the layout of the stored format number: the file's name and what its lines hold.
[[nodiscard]] QString FormatExplanation(int format);

// The output folder as a person can find it: whole, in the working folder when it is relative
// ("." is the working folder itself).
[[nodiscard]] QString WholeFolderPath(const QString& folder);

inline constexpr int kMaxOutputDirBytes = 127;

class CSettingsDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CSettingsDlg(QWidget* parent = nullptr);
    int exec() override;
    void accept() override;

    int m_nOutputFormat = 3;
    QString m_strOutputDir;
    int m_bAutoStart = 0;
    int m_bExitAfterFetch = 0;
    int m_bAverageDecimals = 0;

    QComboBox* m_pFormat;
    QLabel* m_pFormatNote;
    // Shows the folder whole; the settings keep it as it was given until the user picks another.
    QLineEdit* m_pOutputDir;
    QCheckBox* m_pAutoStart;
    QCheckBox* m_pExitAfterFetch;
    QCheckBox* m_pAverageDecimals;

  public slots:
    void OnBrowse();

  private:
    QString
        m_strChosenDir;  // the folder the user picked with 変更, or the one the dialog opened with
};

// The settings command: the dialog over the settings; OK copies back and saves "Tickora.ini".
// Returns whether the user confirmed.
// save, when given, stores the confirmed settings instead of CAppSettings::Save.
bool RunSettingsDialog(CAppSettings& settings, QWidget* parent,
                       const std::function<void(const CAppSettings&)>& save = {});

}  // namespace tickora::gui
