// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/app_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "files/file_io.h"
#include "files/little_endian.h"
#include "text/sjis.h"

namespace tickora {
namespace {

constexpr int kVersionAt = 0;
constexpr int kFormatAt = 4;
constexpr int kDirAt = 8;
constexpr int kDirSize = 128;
constexpr int kAutoStartAt = 136;
constexpr int kExitAt = 140;
constexpr int kDecimalsAt = 144;

}  // namespace

void CAppSettings::SetDefaults() {
    m_nVersion = kSettingsVersion;
    m_nOutputFormat = 3;
    // This platform has no drive letters; the working folder stands in for the root of C:.
    std::memset(m_szOutputDir, 0, sizeof m_szOutputDir);
    m_szOutputDir[0] = '.';
    m_bAutoStart = 0;
    m_bExitAfterFetch = 0;
    m_bAverageDecimals = 0;
}

void CAppSettings::CopyFrom(const CAppSettings& other) {
    m_nVersion = other.m_nVersion;
    m_nOutputFormat = other.m_nOutputFormat;
    std::memcpy(m_szOutputDir, other.m_szOutputDir, sizeof m_szOutputDir);
    m_bAutoStart = other.m_bAutoStart;
    m_bExitAfterFetch = other.m_bExitAfterFetch;
    m_bAverageDecimals = other.m_bAverageDecimals;
}

void CAppSettings::ToRecord(unsigned char (&record)[kSettingsRecordSize]) const {
    std::memset(record, 0, sizeof record);
    PutU32(record + kVersionAt, m_nVersion);
    PutU32(record + kFormatAt, static_cast<std::uint32_t>(m_nOutputFormat));
    // Only the path and its NUL carry meaning; the filler after them is written as zeros.
    const std::size_t length = strnlen(m_szOutputDir, kDirSize - 1);
    std::memcpy(record + kDirAt, m_szOutputDir, length);
    PutU32(record + kAutoStartAt, static_cast<std::uint32_t>(m_bAutoStart));
    PutU32(record + kExitAt, static_cast<std::uint32_t>(m_bExitAfterFetch));
    PutU32(record + kDecimalsAt, static_cast<std::uint32_t>(m_bAverageDecimals));
}

void CAppSettings::FromRecord(const unsigned char (&record)[kSettingsRecordSize]) {
    m_nVersion = GetU32(record + kVersionAt);
    m_nOutputFormat = static_cast<std::int32_t>(GetU32(record + kFormatAt));
    // A path without its NUL keeps its first 127 bytes, so the field is always terminated.
    std::memset(m_szOutputDir, 0, sizeof m_szOutputDir);
    const std::size_t length =
        strnlen(reinterpret_cast<const char*>(record + kDirAt), kDirSize - 1);
    std::memcpy(m_szOutputDir, record + kDirAt, length);
    m_bAutoStart = static_cast<std::int32_t>(GetU32(record + kAutoStartAt));
    m_bExitAfterFetch = static_cast<std::int32_t>(GetU32(record + kExitAt));
    m_bAverageDecimals = static_cast<std::int32_t>(GetU32(record + kDecimalsAt));
}

void CAppSettings::Load(const char* path) {
    // A short file lays its bytes over a record of defaults; what follows the record is not read.
    unsigned char record[kSettingsRecordSize];
    CAppSettings defaults;
    defaults.ToRecord(record);
    std::size_t read = 0;
    if (ReadFileHead(path, std::span<char>(reinterpret_cast<char*>(record), sizeof record), read) !=
        0) {
        return;
    }
    const std::uint32_t expected = m_nVersion;
    FromRecord(record);
    if (m_nVersion != expected) {
        SetDefaults();
    }
}

bool CAppSettings::Save(const char* path) const {
    unsigned char record[kSettingsRecordSize];
    ToRecord(record);
    // The record goes to a side file first, so a failed write never leaves a half record where
    // the last good one was. Its name is this process's own, so that two saves at once never
    // write into one side file.
    const int error =
        ReplaceFile(path, std::string_view(reinterpret_cast<const char*>(record), sizeof record));
    errno = error;
    return error == 0;
}

std::string CAppSettings::OutputDirPath() const {
    char folder[sizeof m_szOutputDir + 1] = {};
    std::memcpy(folder, m_szOutputDir, sizeof m_szOutputDir);
    return OutputFolderPath(folder);
}

std::string OutputFolderPath(const char* sjisFolder) {
    if (sjisFolder == nullptr || sjisFolder[0] == '\0') {
        return ".";
    }
    return SjisToUtf8Exact(sjisFolder).value_or(std::string());
}

}  // namespace tickora
