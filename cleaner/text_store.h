// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace cleaner {

// Many short texts kept one after another in blocks of a fixed size, for
// lists of a million paths: 12 bytes of bookkeeping per text, no allocation
// per text, and adding never moves what is already there (a growing single
// buffer would copy everything each time it doubles).
class TextStore {
public:
    struct Ref {
        std::uint32_t block = 0;
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    Ref add(std::string_view text);
    std::string_view get(const Ref& ref) const noexcept {
        return {m_blocks[ref.block].get() + ref.offset, ref.length};
    }
    void clear() noexcept;

private:
    static constexpr std::size_t kBlockSize = 256 * 1024;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = 0;     // in the last block
    std::size_t m_capacity = 0; // of the last block
};

} // namespace cleaner
