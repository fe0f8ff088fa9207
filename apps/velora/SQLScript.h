// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Splits SQL text into statements at the semicolons that end them: not
// inside quotes ('...', "...", `...`, $tag$...$tag$) or comments (-- and
// /* */), as the data source's dialect reads them: MariaDB's backslash
// escapes in '...' and "...", its # comments and "--" only before a blank;
// PostgreSQL's E'...' escapes and nested comments. Text is added piece by
// piece (a file at once, or the lines a user types), so a statement may span
// any number of pieces.
#pragma once

#include "velora/engine/SQLText.h"

#include <string>

namespace velora::app {

/// True when a quoted value ('...' or $tag$...$tag$) in `sql` holds a line
/// break: the query's SQL is a list of lines, joined again with CR LF, so
/// such a value would not reach the data source as written.
bool LineBreakInQuotedValue(const std::string& sql);

class TStatementSplitter {
public:
    TStatementSplitter() = default;
    explicit TStatementSplitter(TSQLDialect dialect) : FDialect(dialect) {}
    void SetDialect(TSQLDialect dialect) { FDialect = dialect; }
    /// Appends text; a line the user typed should carry its newline.
    void Add(const std::string& text);
    /// Takes the next complete statement (without its semicolon, the blanks
    /// around it and the comments before and after it); false when none is
    /// complete yet.
    bool Next(std::string& statement);
    /// The incomplete rest (blanks trimmed), taken away: for the end of a
    /// file, whose last statement needs no semicolon.
    std::string TakeRest();
    /// True when text of an unfinished statement is waiting.
    bool Pending() const;
    /// True when the text so far ends inside a quoted value.
    bool InValue() const { return FQuote == '\'' || FQuote == '$'; }

private:
    std::string FText;
    std::size_t FScanned = 0;  ///< FText[0, FScanned) holds no statement end
    char FQuote = 0;           ///< the open quote, '-' a line comment, '*' a block comment, '$' a dollar quote
    std::string FDollarTag;
    TSQLDialect FDialect = TSQLDialect::Standard;
    bool FEscapes = false;  ///< the open quote takes backslash escapes
    int FDepth = 0;         ///< nesting of PostgreSQL's block comments
    std::size_t FCodeEnd = 0;  ///< FText[0, FCodeEnd) ends with the statement's last character outside comments
};

}  // namespace velora::app
