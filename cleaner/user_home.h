// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace cleaner {

// The home folder of the user this process runs as (its effective user),
// as the password database gives it: never $HOME, which a program started
// with sudo may have kept from another user. Nothing when there is none.
std::optional<std::string> userHomeFolder();

} // namespace cleaner
