// SPDX-License-Identifier: GPL-3.0-or-later
// The ways a job used to end while saying it went well, one row each: a site that is gone, a
// dictionary or output folder that cannot be written, a full disk, a view that raises, one
// stock's history cut short in a run over all stocks. Each row names the job, the fault, the exit
// status and the failure the outcome must carry; the command line's JSON says the same.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>

#include "cli/runner.h"
#include "pages/history_page.h"
#include "pages/profile_page.h"
#include "tests/support/fault_fixture.h"

namespace tickora {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kDeadSite = "http://127.0.0.1:1";  // nothing listens: refused at once
constexpr const char* kMountPoint = "small";

// A small tmpfs in the working folder, read-only or filled to its last byte; unmounted at the end.
// Mounting needs root (or CAP_SYS_ADMIN): without it the row is skipped.
class SmallTmpfs {
  public:
    ~SmallTmpfs() {
        if (!m_boundFile.empty()) {
            umount2(m_boundFile.c_str(), MNT_DETACH);
        }
        if (m_mounted) {
            umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    [[nodiscard]] bool Mount(const std::string& dir, const std::string& size = "64k") {
        m_dir = fs::absolute(dir).string();
        m_size = "size=" + size;
        fs::create_directories(m_dir);
        m_mounted =
            mount("tmpfs", m_dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, m_size.c_str()) == 0;
        return m_mounted;
    }
    // Puts a file of the tmpfs at a path outside it, as that path's own file: the program follows
    // no link at the files it writes.
    [[nodiscard]] bool BindFile(const std::string& inside, const std::string& at) {
        test::WriteFileBytes(at, "");
        if (mount((m_dir + "/" + inside).c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return false;
        }
        m_boundFile = fs::absolute(at).string();
        return true;
    }
    [[nodiscard]] bool MakeReadOnly() {
        return mount("tmpfs", m_dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, m_size.c_str()) == 0;
    }
    // Writes one file until the file system refuses another byte.
    [[nodiscard]] bool Fill() {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            std::fopen((m_dir + "/fill").c_str(), "wb"), std::fclose);
        if (!file) {
            return false;
        }
        std::setvbuf(file.get(), nullptr, _IONBF, 0);
        const std::string block(512, 'x');
        while (std::fwrite(block.data(), 1, block.size(), file.get()) == block.size()) {
        }
        while (std::fputc('x', file.get()) != EOF) {
        }
        return errno == ENOSPC;
    }

  private:
    std::string m_dir;
    std::string m_size;
    std::string m_boundFile;
    bool m_mounted = false;
};

using test::Job;

enum class Defect {
    kSiteDown,             // nothing listens at the site's address
    kDictionaryIsAFolder,  // "VorlaneEx.DIC" is a folder
    kDictionaryReadOnly,   // "VorlaneEx.DIC" lies on a read-only file system
    kOutputReadOnly,       // the output folder is a read-only file system
    kOutputFull,           // the output folder is a full file system
    kViewThrows,           // the view raises after the first item
    kHistoryPageCut,       // kdt --all: one stock's second page is cut
    kHistoryPage500,       // kdt --all: one stock's third page answers 500
    kDayMarksAFolder,      // a folder where the day file's marks go
};

struct DefectCase {
    const char* name;
    Job job;
    Defect defect;
    int exitStatus;
    std::size_t failures;  // entries in the outcome
    // Part of the last entry's cause (of the end's cause when there is none); empty for a failed
    // transfer, whose cause is libcurl's words.
    const char* cause;
    bool endedJob;  // the last entry ended the job
};

void PrintTo(const DefectCase& c, std::ostream* os) {
    *os << c.name;
}

const DefectCase kDefects[] = {
    {"profilesSiteDown", Job::kProfiles, Defect::kSiteDown, kExitEndedEarly, 3, "", true},
    {"profilesDictionaryIsAFolder", Job::kProfiles, Defect::kDictionaryIsAFolder, kExitEndedEarly,
     1, "Is a directory", true},
    {"profilesDictionaryReadOnly", Job::kProfiles, Defect::kDictionaryReadOnly, kExitEndedEarly, 1,
     "Read-only file system", true},
    {"fetchOutputReadOnly", Job::kFetch, Defect::kOutputReadOnly, kExitEndedEarly, 1,
     "Read-only file system", false},
    {"fetchOutputFull", Job::kFetch, Defect::kOutputFull, kExitEndedEarly, 1,
     "No space left on device", false},
    {"performanceOutputFull", Job::kPerformance, Defect::kOutputFull, kExitEndedEarly, 1,
     "No space left on device", false},
    {"fetchViewThrows", Job::kFetch, Defect::kViewThrows, kExitEndedEarly, 0, "the view failed",
     false},
    {"kdtAllHistoryPageCut", Job::kKdt, Defect::kHistoryPageCut, kExitItemsFailed, 1, "", false},
    {"kdtAllHistoryPage500", Job::kKdt, Defect::kHistoryPage500, kExitItemsFailed, 1, "HTTP 500",
     false},
    {"fetchDayMarksAFolder", Job::kFetch, Defect::kDayMarksAFolder, kExitEndedEarly, 1,
     ".DS261204.DAT.partial: Is a directory, where the marks", false},
};

class OutcomeDefect : public test::FaultSiteTest, public ::testing::WithParamInterface<DefectCase> {
  protected:
    // Sets the fault up; returns what the last failure must name (a URL, or the start of a path)
    // and leaves a stored file that must stay in m_keptPath. Skips where a mount is refused.
    std::string Arrange(Defect defect) {
        switch (defect) {
            case Defect::kSiteDown: {
                doc.SetSiteAccess(access.Site(kDeadSite));
                const CQuoteBlock& block = *list.GetBlock(0);
                return ProfileUrl(kDeadSite, block.m_aStocks[2].m_nCode);
            }
            case Defect::kDictionaryIsAFolder:
                fs::remove(kDictionaryPath);
                fs::create_directory(kDictionaryPath);
                return AbsolutePath(kDictionaryPath);
            case Defect::kDictionaryReadOnly:
                if (!m_tmpfs.Mount(kMountPoint, "16m")) {
                    return {};
                }
                fs::copy_file(kDictionaryPath, std::string(kMountPoint) + "/" + kDictionaryPath);
                fs::remove(kDictionaryPath);
                return m_tmpfs.BindFile(kDictionaryPath, kDictionaryPath) && m_tmpfs.MakeReadOnly()
                           ? AbsolutePath(kDictionaryPath)
                           : std::string();
            case Defect::kOutputReadOnly:
            case Defect::kOutputFull: {
                if (!m_tmpfs.Mount(kMountPoint)) {
                    return {};
                }
                const bool ready =
                    defect == Defect::kOutputFull ? m_tmpfs.Fill() : m_tmpfs.MakeReadOnly();
                std::snprintf(settings.m_szOutputDir, sizeof settings.m_szOutputDir, "%s",
                              kMountPoint);
                return ready ? AbsolutePath(kMountPoint) + "/" : std::string();
            }
            case Defect::kViewThrows:
                view.onItemsDone = [](int done) {
                    if (done > 0) {
                        throw std::runtime_error("the view failed");
                    }
                };
                return {};
            case Defect::kHistoryPageCut:
            case Defect::kHistoryPage500: {
                // Three pages of every stock; one stock with a stored history meets the fault.
                constexpr int kDays = 150;
                view.codeOptions = {0, kDays, true};
                const site::Stock& stock = LongHistoryStock();
                m_keptPath = KdtFileName(stock.code, true);
                fs::create_directories(fs::path(m_keptPath).parent_path());
                WriteFileBytes(m_keptPath, test::KdtRecordBytes(2026, 11, 30, 900, 40));
                const int page = defect == Defect::kHistoryPageCut ? 1 : 2;
                const std::string url =
                    CKdtRequest(stock.symbol.c_str(), stock.code, kDays, server.Url())
                        .GetPageUrl(page);
                site::Fault fault;
                fault.kind = defect == Defect::kHistoryPageCut ? site::FaultKind::kCut
                                                               : site::FaultKind::kStatus;
                fault.bytes = 4000;
                server.SetFault(TargetOf(url), fault);
                return url;
            }
            case Defect::kDayMarksAFolder:
                fs::create_directories("out/.DS261204.DAT.partial/inside");
                return AbsolutePath("out/DS261204.DAT");
        }
        return {};
    }


    SmallTmpfs m_tmpfs;  // unmounted before the working folder goes
    std::string m_keptPath;
};

TEST_P(OutcomeDefect, EndsWithItsStatusAndNamesTheFailure) {
    const DefectCase& c = GetParam();
    const std::string where = Arrange(c.defect);
    const bool needsMount = c.defect == Defect::kDictionaryReadOnly ||
                            c.defect == Defect::kOutputReadOnly || c.defect == Defect::kOutputFull;
    if (needsMount && where.empty()) {
        GTEST_SKIP() << "no small tmpfs can be mounted here";
    }
    const std::string kept = m_keptPath.empty() ? "" : ReadFileBytes(m_keptPath);

    ASSERT_TRUE(RunBounded([this, &c] { return Start(c.job); }));
    ExpectIdle();
    const JobOutcome r = doc.LastOutcome();
    EXPECT_EQ(ExitStatusOf(r), c.exitStatus);
    ASSERT_EQ(r.failures.size(), c.failures);
    if (c.failures == 0) {
        EXPECT_TRUE(r.end == JobEnd::kException);
        EXPECT_EQ(r.endCause, c.cause);
    } else {
        const ItemFailure& f = r.failures.back();
        EXPECT_EQ(f.endedJob, c.endedJob);
        EXPECT_EQ(f.where.rfind(where, 0), 0u) << f.where << " is not " << where;
        if (std::string(c.cause).empty()) {
            EXPECT_NE(f.cause.rfind("HTTP ", 0), 0u) << f.cause;
        } else {
            EXPECT_NE(f.cause.find(c.cause), std::string::npos) << f.cause;
        }
    }
    if (!m_keptPath.empty()) {
        EXPECT_EQ(ReadFileBytes(m_keptPath), kept);
        EXPECT_EQ(r.Kept(), std::vector<std::string>{AbsolutePath(m_keptPath)});
        EXPECT_EQ(r.itemsDone, r.itemsTotal) << "the job went on past the stock";
    }
    const nlohmann::json json = nlohmann::json::parse(cli::FormatJson(r));
    EXPECT_EQ(json.at("exitStatus"), c.exitStatus);
    EXPECT_EQ(json.at("failures").size(), c.failures);
    ExpectProtectedFilesKept({kDictionaryPath, KdtFileName(1301, true)});
}

INSTANTIATE_TEST_SUITE_P(Rows, OutcomeDefect, ::testing::ValuesIn(kDefects),
                         [](const auto& info) { return std::string(info.param.name); });

// The command line with --json prints the outcome as one JSON object, and exits with the status
// it names.
using CommandLineJson = test::FaultSiteTest;

TEST_F(CommandLineJson, PrintsTheOutcomeAndExitsWithItsStatus) {
    auto run = [](const std::vector<std::string>& args, int& status) {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
        std::atomic<int> interrupts{0};
        status = cli::CliMain(args, {out.get(), err.get(), false}, interrupts);
        std::fflush(out.get());
        std::rewind(out.get());
        std::string text;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out.get())) > 0;) {
            text.append(buffer, n);
        }
        return text;
    };
    int status = -1;
    std::string text = run({"--site", server.Url(), "--json", "fetch"}, status);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    nlohmann::json json = nlohmann::json::parse(text);
    EXPECT_EQ(status, kExitDone);
    EXPECT_EQ(json.at("exitStatus"), kExitDone);
    EXPECT_EQ(json.at("job"), "fetch");
    EXPECT_EQ(json.at("itemsDone"), test::kFaultSiteStocks + 3);
    EXPECT_TRUE(json.at("failures").empty());
    ASSERT_EQ(json.at("files").size(), 1u);
    EXPECT_EQ(json.at("files")[0].at("state"), "written");
    EXPECT_TRUE(fs::exists(json.at("files")[0].at("path").get<std::string>()));

    text = run({"--site", kDeadSite, "--json", "profiles"}, status);
    json = nlohmann::json::parse(text);
    EXPECT_EQ(status, kExitEndedEarly);
    EXPECT_EQ(json.at("exitStatus"), kExitEndedEarly);
    EXPECT_EQ(json.at("end"), "stopped");
    ASSERT_EQ(json.at("failures").size(), 3u);
    EXPECT_EQ(json.at("failures")[2].at("endedJob"), true);
    EXPECT_EQ(json.at("failures")[2].at("codes").size(), 1u);
}

}  // namespace
}  // namespace tickora
