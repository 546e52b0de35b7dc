// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the program's maker can be found. The page is a placeholder under
// the reserved example domain until a real one exists.
inline constexpr const char* kMakerPage = "https://www.example.org/";
inline constexpr const char* kMakerEmail = "info@example.org";
