// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop application: start-up and shut-down in their fixed order, and the routing of every
// command to the document or to the application's own handlers.
#include <QObject>
#include <QString>
#include <memory>
#include <string>

namespace tickora {
class CTickoraDoc;
struct StartupObjects;
}  // namespace tickora

namespace tickora::gui {

class CMainFrame;
class CTickoraView;

class CTickoraApp : public QObject {
    Q_OBJECT

  public:
    CTickoraApp();
    ~CTickoraApp() override;

    // Loads the settings, the market table and the fetch list from the working folder, creates
    // the work folder, the window and the document. False ends the program ("market.csv" missing:
    // after the message "market.csv not found.", without showing the window).
    bool InitInstance();
    // Waits for a running job (keeping its calls to the window served), then deletes the window,
    // the document, the stock list, the market table and the settings, in that order.
    int ExitInstance();

    [[nodiscard]] CMainFrame* Frame() const { return m_pFrame.get(); }
    [[nodiscard]] CTickoraView* View() const;
    [[nodiscard]] CTickoraDoc* Document() const { return m_pDoc.get(); }
    [[nodiscard]] StartupObjects* Objects() const { return m_pObjects.get(); }
    // The process's exit status: 0, or after exit-after-fetch the command line's status for
    // the fetch (0, 1 or 4).
    [[nodiscard]] int ExitStatus() const { return m_exitStatus; }

  public slots:
    void OnCommand(int id);
    void OnAppAbout();
    void OnUsersGuide();
    void OnSettings();
    void OnConnectionSettings();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrint();

  signals:
    // The main window closed: the event loop may end.
    void finished();

  private:
    // The new-document step; with auto-start a Fetch is posted, delivered once the loop runs.
    void NewDocument();
    void PostFetch();

    std::unique_ptr<StartupObjects> m_pObjects;
    std::unique_ptr<CTickoraDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    // Posted commands are delivered only after the window was shown: a Fetch that auto-start
    // queued before a failed start-up must not run during the error message.
    bool m_bRunning = false;
    int m_exitStatus = 0;
};

// The program: parses its command line before the window system is touched (--help and
// --version answer without a display), chooses and enters the working folder, puts the
// connection settings in force and runs the window until it closes.
int RunDesktop(int argc, char** argv);

}  // namespace tickora::gui
