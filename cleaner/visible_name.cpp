// SPDX-License-Identifier: GPL-3.0-or-later
#include "visible_name.h"

#include "utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace cleaner {

namespace {

// Characters that change how the text around them is laid out, as ranges.
struct Range {
    char32_t first;
    char32_t last;
};
constexpr std::array kShownAsCodes = {
    Range{0x80, 0x9f},     // C1 controls
    Range{0x200e, 0x200f}, // left-to-right and right-to-left marks
    Range{0x202a, 0x202e}, // embeddings and overrides
    Range{0x2066, 0x2069}, // isolates
};

constexpr std::array<std::pair<char, char>, 3> kNamedControls = {{{'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}}};

constexpr char kHex[] = "0123456789abcdef";

void appendHex(std::string& out, std::uint32_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out.push_back(kHex[(value >> shift) & 0xf]);
}

bool shownAsCode(char32_t code) {
    return std::any_of(kShownAsCodes.begin(), kShownAsCodes.end(),
                       [code](const Range& range) { return code >= range.first && code <= range.last; });
}

} // namespace

std::string visibleName(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const unsigned char byte = static_cast<unsigned char>(bytes.front());
        if (byte < 0x80) {
            const auto named = std::find_if(kNamedControls.begin(), kNamedControls.end(),
                                            [byte](const auto& pair) { return pair.first == char(byte); });
            if (byte == '\\') {
                out += "\\\\";
            } else if (named != kNamedControls.end()) {
                out.push_back('\\');
                out.push_back(named->second);
            } else if (byte < 0x20 || byte == 0x7f) {
                out += "\\x";
                appendHex(out, byte, 2);
            } else {
                out.push_back(char(byte));
            }
            bytes.remove_prefix(1);
            continue;
        }
        const auto decoded = decodeUtf8(bytes);
        if (!decoded) {
            out += "\\x";
            appendHex(out, byte, 2);
            bytes.remove_prefix(1);
        } else if (shownAsCode(decoded->first)) {
            out += "\\u";
            appendHex(out, decoded->first, 4);
            bytes.remove_prefix(decoded->second);
        } else {
            out.append(bytes.substr(0, decoded->second));
            bytes.remove_prefix(decoded->second);
        }
    }
    return out;
}

} // namespace cleaner
