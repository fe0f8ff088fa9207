// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dialects the SQL tokenizer reads (SQLTokens.h), apart so that public
// headers can name one without the driver manager's headers.
#pragma once

#include <cstdint>

namespace velora {

/// How a data source reads literals, quoted names and comments.
enum class TSQLDialect : std::uint8_t {
    Standard,    ///< '...' and "..." with doubled quotes, -- and /* */ comments (SQLite, others)
    PostgreSQL,  ///< Standard plus E'...' backslash escapes, $tag$...$tag$ strings and nested /* */
    MySQL,       ///< MariaDB and MySQL: backslash escapes in '...' and "...", `...` names, # comments
};

}  // namespace velora
