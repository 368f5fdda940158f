#pragma once
// The five user settings, kept as one 148-byte little-endian record in "Tickora.ini".
#include <cstdint>

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
};

}  // namespace tickora
