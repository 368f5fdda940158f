// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialog "接続設定": the finance site (one address, or a host for each kind of page), the
// retries and pacing of the downloads, the page time-out, the number of connections and of HTTP/2
// streams, the HTTP/2 mode, a CA file and a proxy, kept in "connection.toml" in the working
// folder. It checks every value as tickora-cli does.
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "catalog/connection_settings.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QVBoxLayout;

namespace tickora {
struct StartupObjects;
}

namespace tickora::gui {

class CConnectionDlg : public QDialog {
    Q_OBJECT

  public:
    // path is the file that OK writes; its name is shown in the dialog.
    CConnectionDlg(QString path, QWidget* parent = nullptr);

    // Fills the fields from what the file holds, with what could not be read from it, and names
    // the values that the environment or the command line override.
    void SetLayer(const ConnectionLayer& layer, const std::vector<std::string>& loadErrors,
                  const std::vector<std::string>& overriddenBy);
    // The fields as a layer; errors gets one line for each field that cannot be taken.
    [[nodiscard]] ConnectionLayer Layer(std::vector<std::string>& errors) const;
    // Checks the fields and writes the file; stays open, saying why, when either fails.
    void accept() override;

    [[nodiscard]] const ConnectionLayer& Saved() const { return m_saved; }

    QLineEdit* m_pSite;
    QLineEdit* m_pQuoteHost;
    QLineEdit* m_pTableHost;
    QLineEdit* m_pProfileHost;
    QSpinBox* m_pRetries;
    QSpinBox* m_pPace;
    QSpinBox* m_pPageTimeout;
    QSpinBox* m_pConnections;
    QSpinBox* m_pStreams;
    QComboBox* m_pHttp2;
    QLineEdit* m_pCaFile;
    QLineEdit* m_pProxy;
    QLineEdit* m_pNoProxy;
    QLabel* m_pOverrides;
    QLabel* m_pError;

  private:
    // One builder for each group of fields, called in the order the fields take focus.
    QGroupBox* SiteGroup();
    QGroupBox* TransferGroup();
    QGroupBox* NetworkGroup();
    void AddStatusLabels(QVBoxLayout* layout);

    QString m_strPath;
    ConnectionLayer m_loaded;  // a number is written back when it was in the file or was changed
    ConnectionLayer m_saved;
};

// The command: refuses while a job runs (every job reads the hosts), else shows the dialog over
// the working folder's "connection.toml"; on OK the file is saved, access becomes what the merged
// settings give and the fetch list's quote addresses are composed again on the new host.
// commandLine holds the connection options of the program's command line, which stay over the
// file. Returns the text for the status line (empty when there is nothing to say).
[[nodiscard]] QString RunConnectionDialog(QWidget* parent, StartupObjects& objects, bool jobRunning,
                                          const ConnectionLayer& commandLine, SiteAccess& access);

}  // namespace tickora::gui
