// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a new user is led when a command cannot do its work yet: an empty list offers to build
// one, a site that does not answer offers the connection settings and, when it is the simulated
// site this program expects on this machine, to start that site for a trial.
#include <QObject>
#include <QString>
#include <memory>

class QProcess;
class QWidget;

namespace tickora {
struct JobOutcome;
struct SiteHosts;
}  // namespace tickora

namespace tickora::gui {

// "fetchlist.csv has no stocks": build it now? (box "emptyListOffer")
[[nodiscard]] bool OfferToBuildList(QWidget* parent);

// The output folder is missing: create it? (box "outputFolderOffer")
[[nodiscard]] bool OfferToCreateFolder(QWidget* parent, const QString& folder);

// ~/Tickora: an output folder a chart program's file dialog reaches from the home folder; empty
// when the home folder is unknown or the path cannot be a setting (no Shift-JIS form, too long).
[[nodiscard]] QString VisibleOutputFolder();

// Whether a new user of the per-user folder is asked for a visible output folder: the working
// folder lies in a hidden folder (~/.local/share/tickora), its settings were never saved and the
// files would go into the working folder itself.
[[nodiscard]] bool OffersVisibleOutputFolder(const QString& workFolder, bool settingsSaved,
                                             const std::string& outputDir);

// Offers folder as the output folder; the default button takes it. (box "visibleFolderOffer")
[[nodiscard]] bool OfferVisibleOutputFolder(QWidget* parent, const QString& folder,
                                            const QString& workFolder);

// Every page the job asked for failed before the site answered at all: the site is down, the
// address is wrong or the network is cut. (A site that answers with an error status is reached.)
[[nodiscard]] bool SiteUnreachable(const JobOutcome& outcome);

// The port of the simulated site when every host is the loopback address with one port and no
// path (the site a trial install uses); 0 otherwise.
[[nodiscard]] int TrialSitePort(const SiteHosts& hosts);

enum class UnreachableChoice { kClose, kConnectionSettings, kStartTrialSite };
// Names the site and offers 接続設定 and, with trialPossible, to start the simulated site.
// (box "siteUnreachable")
[[nodiscard]] UnreachableChoice OfferForUnreachableSite(QWidget* parent, const QString& site,
                                                        bool trialPossible);

// The simulated site started by this program for a trial, stopped when the program ends.
class TrialSite {
  public:
    TrialSite();
    ~TrialSite();
    // The installed tickora-site: next to this program, else on PATH. A test names its own.
    void SetProgram(const QString& program) { m_program = program; }
    [[nodiscard]] QString Program() const;
    // Starts it on port and waits until it answers; false with why otherwise (Japanese).
    bool Start(int port, QString* why);
    void Stop();
    [[nodiscard]] bool Running() const;

  private:
    QString m_program;
    std::unique_ptr<QProcess> m_process;
};

}  // namespace tickora::gui
