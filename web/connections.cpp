// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/connections.h"

#include "text/named_values.h"

namespace tickora {

namespace {

constexpr NamedValue<Http2Mode> kHttp2Modes[] = {{Http2Mode::kAuto, "auto"},
                                                 {Http2Mode::kPriorKnowledge, "prior-knowledge"},
                                                 {Http2Mode::kOff, "off"}};

}  // namespace

const char* Http2ModeName(Http2Mode mode) {
    return NameIn(kHttp2Modes, mode, "auto");
}

bool ParseHttp2Mode(std::string_view text, Http2Mode& mode) {
    const std::optional<Http2Mode> named = ValueNamed(kHttp2Modes, text);
    mode = named.value_or(mode);
    return named.has_value();
}

}  // namespace tickora
