// SPDX-License-Identifier: GPL-3.0-or-later
// The holidays against Debian's python3-holidays, an implementation nobody here wrote, day by day
// over the years its Japanese module is current. Version 0.10.1 (Debian 12) predates the law of
// December 2020, so it knows nothing of 2021, and it lists substitute holidays from tables that
// end in 2020 for the emperor's birthday and near 2050 for the rest: its years are 1949 to 2020.
// Within them it is wrong on a few days, skipped below with the reason; the table test covers
// each of them. Its equinoxes come from a table of its own, so they are compared to 2099.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "exchange/holidays.h"
#include "text/sjis.h"

namespace tickora {
namespace {

constexpr int kPackageFirstYear = 1949;
constexpr int kPackageLastYear = 2020;

// Debian installs the module for its own interpreter, which a user's PATH may shadow.
std::string Interpreter() {
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

constexpr const char* kScript =
    "import sys\n"
    "try:\n"
    "    import holidays\n"
    "except ImportError:\n"
    "    print('missing')\n"
    "    sys.exit(0)\n"
    "print('holidays', holidays.__version__)\n"
    "for day, name in sorted(holidays.Japan(years=range(1949, 2100)).items()):\n"
    "    print(day.isoformat(), name)\n";

struct PackageDump {
    bool missing = false;
    std::string version;
    std::map<int, std::string> names;  // day number -> UTF-8 name
};

PackageDump DumpPackage() {
    const std::string command =
        "PYTHONIOENCODING=utf-8 " + Interpreter() + " -c \"" + std::string(kScript) + "\"";
    PackageDump dump;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        dump.missing = true;
        return dump;
    }
    char line[256];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        CalendarDate date;
        int used = 0;
        if (text == "missing") {
            dump.missing = true;
        } else if (text.rfind("holidays ", 0) == 0) {
            dump.version = text.substr(9);
        } else if (std::sscanf(text.c_str(), "%d-%d-%d %n", &date.year, &date.month, &date.day,
                               &used) == 3 &&
                   IsValidDate(date)) {
            dump.names[DayNumber(date)] = text.substr(static_cast<std::size_t>(used));
        }
    }
    return dump;
}

const PackageDump& Package() {
    static const PackageDump dump = DumpPackage();
    return dump;
}

std::string Text(int dayNumber) {
    const CalendarDate d = DateOfDayNumber(dayNumber);
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

// Days within its years on which the package is behind the law.
std::set<int> PackageFaults() {
    std::set<int> days;
    // It keeps National Foundation Day from 1949; the law that made it was passed in 1966.
    for (int year = kPackageFirstYear; year <= 1966; ++year) {
        days.insert(DayNumber({year, 2, 11}));
    }
    // It lacks the days of their own laws before 2019, and the substitute for Children's Day
    // 1974 (a Sunday).
    for (const CalendarDate& d :
         {CalendarDate{1959, 4, 10}, CalendarDate{1974, 5, 6}, CalendarDate{1989, 2, 24},
          CalendarDate{1990, 11, 12}, CalendarDate{1993, 6, 9}}) {
        days.insert(DayNumber(d));
    }
    return days;
}

// Days both call a holiday under other names: the package's name for the 2019 ceremony, and the
// October holiday, renamed Sports Day from 2020, under its old name.
const std::set<int> kOtherNames = {DayNumber({2019, 10, 22}), DayNumber({2020, 7, 24})};

#define SKIP_WITHOUT_PACKAGE()                                                              \
    if (Package().missing || Package().names.empty()) {                                     \
        GTEST_SKIP() << "python3-holidays is not installed (apt install python3-holidays; " \
                        "./run test installs it)";                                          \
    }

TEST(HolidaysAgainstPackage, SameHolidaysOnEveryDayOfTheYearsItIsCurrent) {
    SKIP_WITHOUT_PACKAGE();
    const std::set<int> faults = PackageFaults();
    int compared = 0;
    for (int day = DayNumber({kPackageFirstYear, 1, 1});
         day <= DayNumber({kPackageLastYear, 12, 31}); ++day) {
        if (faults.count(day) != 0) {
            continue;
        }
        const auto theirs = Package().names.find(day);
        const Holiday ours = HolidayOn(day);
        ASSERT_EQ(ours != Holiday::kNone, theirs != Package().names.end())
            << Text(day) << ": ours " << (ours != Holiday::kNone ? HolidayWord(ours) : "none")
            << ", package " << (theirs != Package().names.end() ? theirs->second : "none") << " ("
            << Package().version << ")";
        if (ours != Holiday::kNone && kOtherNames.count(day) == 0) {
            EXPECT_EQ(SjisToUtf8(HolidayNameSjis(ours)), theirs->second) << Text(day);
            ++compared;
        }
    }
    EXPECT_GT(compared, 900);  // the dump was read, not an empty answer
}

TEST(HolidaysAgainstPackage, SameEquinoxesTo2099) {
    SKIP_WITHOUT_PACKAGE();
    int equinoxes = 0;
    // It joins the names of a day it lists twice ("国民の休日, 秋分の日" in 2065, where its table
    // of citizens' holidays meets the equinox).
    for (const auto& [day, name] : Package().names) {
        const bool vernal = name.find("春分の日") != std::string::npos;
        if (vernal || name.find("秋分の日") != std::string::npos) {
            const Holiday expected =
                vernal ? Holiday::kVernalEquinoxDay : Holiday::kAutumnalEquinoxDay;
            EXPECT_EQ(HolidayOn(day), expected) << Text(day);
            ++equinoxes;
        }
    }
    EXPECT_EQ(equinoxes, 2 * (2099 - 1949 + 1));
}

}  // namespace
}  // namespace tickora
