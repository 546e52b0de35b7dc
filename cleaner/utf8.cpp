// SPDX-License-Identifier: GPL-3.0-or-later
#include "utf8.h"

namespace cleaner {

std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return std::pair{char32_t{lead}, std::size_t{1}};
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

} // namespace cleaner
