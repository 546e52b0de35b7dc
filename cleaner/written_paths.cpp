// SPDX-License-Identifier: GPL-3.0-or-later
#include "written_paths.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace cleaner {

namespace {

constexpr std::string_view kSeparators = " \t\r\n\v\f\"'`;,:=()<>";

constexpr auto kIsSeparator = [] {
    std::array<bool, 256> table{};
    for (const char c : kSeparators)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool isSeparator(char c) {
    return kIsSeparator[static_cast<unsigned char>(c)];
}

// How a home's own files spell the home.
constexpr std::string_view kHomeSpellings[] = {"~/", "$HOME/", "${HOME}/"};

// The folder `token` names, its parts cleaned up; empty when none.
std::string cleanPath(std::string_view token, bool absolute) {
    std::string path;
    while (!token.empty()) {
        const std::size_t end = std::min(token.find('/'), token.size());
        const std::string_view part = token.substr(0, end);
        token.remove_prefix(std::min(end + 1, token.size()));
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return {};
        if (part.find_first_of("%*") != std::string_view::npos)
            break; // a pattern: only the folder it lies in is named
        if (absolute || !path.empty())
            path += '/';
        path += part;
    }
    return path;
}

} // namespace

std::vector<WrittenPath> pathsWrittenIn(std::string_view text, WrittenIn where) {
    std::vector<WrittenPath> found;
    std::unordered_set<std::string> seen[2];
    // Every path holds a slash: only the tokens around one are looked at,
    // and the text between them is passed over at the speed of memchr.
    std::size_t at = 0;
    for (std::size_t slash; (slash = text.find('/', at)) != std::string_view::npos;) {
        std::size_t begin = slash;
        while (begin > at && !isSeparator(text[begin - 1]))
            --begin;
        std::size_t end = slash;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        at = end;
        std::string_view token = text.substr(begin, end - begin);
        bool inHome = false;
        if (where == WrittenIn::Home)
            for (const std::string_view home : kHomeSpellings)
                if (token.starts_with(home)) {
                    token.remove_prefix(home.size());
                    inHome = true;
                    break;
                }
        if (!inHome && begin != slash)
            continue; // a relative path, or a word with a slash in it
        std::string path = cleanPath(token, !inHome);
        if (!path.empty() && seen[inHome].insert(path).second)
            found.push_back(WrittenPath{std::move(path), inHome});
    }
    return found;
}

} // namespace cleaner
