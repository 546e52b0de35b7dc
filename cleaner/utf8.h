// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace cleaner {

// The code point that starts `text` and its length in bytes, when it is
// well-formed UTF-8 (shortest form, no surrogates, at most U+10FFFF);
// nothing for a byte that starts no such sequence. ASCII is well-formed.
std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text);

} // namespace cleaner
