// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own texts are Shift-JIS bytes; Qt speaks UTF-16. These are the only crossings.
#include <QString>
#include <string>
#include <string_view>

#include "text/sjis.h"

namespace tickora::gui {

[[nodiscard]] inline QString FromSjis(std::string_view sjis) {
    return QString::fromStdString(SjisToUtf8(sjis));
}

[[nodiscard]] inline std::string ToSjis(const QString& text) {
    return Utf8ToSjis(text.toStdString());
}

[[nodiscard]] inline QString FromUtf8(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace tickora::gui
