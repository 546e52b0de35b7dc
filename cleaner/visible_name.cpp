// SPDX-License-Identifier: GPL-3.0-or-later
#include "visible_name.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

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

// The code point that starts `text` and its length in bytes, when it is
// well-formed UTF-8 (shortest form, no surrogates, at most U+10FFFF).
std::optional<std::pair<char32_t, std::size_t>> decode(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, code = lead & 0x1f, smallest = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, code = lead & 0x0f, smallest = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (byte(i) & 0x3f);
    }
    if (code < smallest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return std::nullopt;
    return std::pair{code, length};
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
        const auto decoded = decode(bytes);
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
