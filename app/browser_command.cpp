// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/browser_command.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cstdlib>
#include <filesystem>

#include "files/file_io.h"
#include "jobs/workdir.h"

namespace tickora::gui {

std::string BuildBrowserCommand(std::string_view command, std::string_view guidePath) {
    std::string result(command);
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (result.compare(i, 2, "%1") == 0) {
            result.replace(i, 2, guidePath);
            return result;
        }
        if (result[i] == '-' && result.compare(i + 1, 6, "nohome") == 0) {
            result.resize(i);
            break;
        }
    }
    result += " \"";
    result += guidePath;
    result += '"';
    return result;
}

std::string BrowserFromEnvironmentValue(std::string_view value) {
    std::string first(value.substr(0, value.find(':')));
    const std::size_t at = first.find("%s");
    if (at != std::string::npos) {
        const bool quoted = at > 0 && (first[at - 1] == '"' || first[at - 1] == '\'');
        first.replace(at, 2, quoted ? "%1" : "\"%1\"");
    }
    return first;
}

std::string DesktopExecToCommand(std::string_view exec) {
    std::string result;
    bool placed = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%' || i + 1 == exec.size()) {
            result += exec[i];
            continue;
        }
        const char code = exec[++i];
        if (code == '%') {
            result += '%';
        } else if ((code == 'u' || code == 'U' || code == 'f' || code == 'F') && !placed) {
            // The guide path may hold spaces: keep it one argument.
            const bool quoted = !result.empty() && (result.back() == '"' || result.back() == '\'');
            result += quoted ? "%1" : "\"%1\"";
            placed = true;
        }
        // %i, %c, %k and a second URL code stand for nothing here.
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    return result;
}

std::string ExecOfDesktopEntry(std::string_view desktopFile) {
    bool inEntry = false;
    std::size_t pos = 0;
    while (pos < desktopFile.size()) {
        std::size_t end = desktopFile.find('\n', pos);
        if (end == std::string_view::npos) {
            end = desktopFile.size();
        }
        std::string_view line = desktopFile.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry && line.starts_with("Exec=")) {
            return std::string(line.substr(5));
        }
    }
    return {};
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    char quote = 0;
    for (const char c : line) {
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else {
                current += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inArg = true;
        } else if (c == ' ' || c == '\t') {
            if (inArg) {
                args.push_back(std::move(current));
                current.clear();
                inArg = false;
            }
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg) {
        args.push_back(std::move(current));
    }
    return args;
}

namespace {

// A desktop entry is a few KiB of text.
constexpr std::size_t kMaxDesktopEntryBytes = 1024 * 1024;

std::string DesktopDefaultBrowser() {
    QProcess query;
    query.start(QStringLiteral("xdg-settings"),
                {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0) {
        return {};
    }
    const QString desktopName = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopName.isEmpty()) {
        return {};
    }
    const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopName);
    // The user's desktop entries may be links; a FIFO or a huge file there must not hold the
    // program, nor fill its memory.
    std::string text;
    if (file.isEmpty() ||
        ReadWholeFile(file.toStdString(), kMaxDesktopEntryBytes, text, Links::kFollowed) != 0) {
        return {};
    }
    const std::string exec = ExecOfDesktopEntry(text);
    return exec.empty() ? std::string{} : DesktopExecToCommand(exec);
}

}  // namespace

std::string DefaultBrowserCommand() {
    if (const char* browser = std::getenv("BROWSER"); browser != nullptr && *browser != '\0') {
        return BrowserFromEnvironmentValue(browser);
    }
    std::string command = DesktopDefaultBrowser();
    return command.empty() ? std::string("xdg-open") : command;
}

std::string UsersGuidePath() {
    const std::string local = QDir::currentPath().toStdString() + "/Documents/index.html";
    if (QFileInfo(QString::fromStdString(local)).isFile()) {
        return local;
    }
    const std::filesystem::path installed = InstalledDataFile("doc/tickora/Documents/index.html");
    return installed.empty() ? local : installed.string();
}

bool LaunchUsersGuide() {
    const std::string line = BuildBrowserCommand(DefaultBrowserCommand(), UsersGuidePath());
    const std::vector<std::string> parts = SplitCommandLine(line);
    if (parts.empty()) {
        return false;
    }
    const QString program = QString::fromStdString(parts.front());
    // A missing program cannot start; say so before a detached start hides it.
    if (QStandardPaths::findExecutable(program).isEmpty() && !QFileInfo(program).isExecutable()) {
        return false;
    }
    QStringList args;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        args << QString::fromStdString(parts[i]);
    }
    return QProcess::startDetached(program, args, QStringLiteral("."));
}

}  // namespace tickora::gui
