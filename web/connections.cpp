// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/connections.h"

namespace tickora {

const char* Http2ModeName(Http2Mode mode) {
    switch (mode) {
        case Http2Mode::kAuto:
            return "auto";
        case Http2Mode::kPriorKnowledge:
            return "prior-knowledge";
        case Http2Mode::kOff:
            return "off";
    }
    return "auto";
}

bool ParseHttp2Mode(std::string_view text, Http2Mode& mode) {
    for (const Http2Mode candidate :
         {Http2Mode::kAuto, Http2Mode::kPriorKnowledge, Http2Mode::kOff}) {
        if (text == Http2ModeName(candidate)) {
            mode = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace tickora
