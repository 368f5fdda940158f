// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The five user settings, kept as one 148-byte little-endian record in "Tickora.ini".
#include <cstdint>
#include <string>

namespace tickora {

inline constexpr std::uint32_t kSettingsVersion = 0x00010100;
inline constexpr int kSettingsRecordSize = 148;

class CAppSettings {
  public:
    CAppSettings() { SetDefaults(); }

    void SetDefaults();
    void CopyFrom(const CAppSettings& other);
    // Missing or unreadable file: the defaults stay. A short file supplies only its first fields;
    // a file of another version gives all defaults.
    void Load(const char* path = "Tickora.ini");
    // Create or replace the file with the record; failures are silent. Returns false on failure
    // so that a front-end may say so.
    bool Save(const char* path = "Tickora.ini") const;

    // The record as it stands on disk, and back.
    void ToRecord(unsigned char (&record)[kSettingsRecordSize]) const;
    void FromRecord(const unsigned char (&record)[kSettingsRecordSize]);

    std::uint32_t m_nVersion = kSettingsVersion;
    std::int32_t m_nOutputFormat = 3;
    char m_szOutputDir[128] = {};  // Shift-JIS path, at most 127 bytes; "." by default here
    std::int32_t m_bAutoStart = 0;
    std::int32_t m_bExitAfterFetch = 0;
    std::int32_t m_bAverageDecimals = 0;

    // m_szOutputDir as the path the file system knows (UTF-8); see OutputFolderPath.
    [[nodiscard]] std::string OutputDirPath() const;
};

// A folder stored in Shift-JIS, as the settings record holds it, as the UTF-8 path it names on
// this system; "." (the working folder) for an empty text. Empty when the text is not valid
// Shift-JIS: no folder can be told from it, and a guess would put files somewhere else.
[[nodiscard]] std::string OutputFolderPath(const char* sjisFolder);

}  // namespace tickora
