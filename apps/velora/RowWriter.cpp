// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "RowWriter.h"

#include "Command.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDataSet.h"
#include "velora/components/ODBCFieldText.h"
#include "velora/db/DB.h"

#include <nlohmann/json.hpp>
#include <utf8proc.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace velora::app {

namespace {

/// Widest column the table format measures; memo and binary values are cut
/// to it with "…", other longer values print whole.
constexpr std::size_t kMaxWidth = 40;
/// Rows the table format reads before it prints, to measure column widths.
constexpr std::size_t kMeasureRows = 1000;

void Write(std::FILE* out, const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        if (errno == EPIPE) throw TBrokenPipe{};
        throw Exception(std::string("cannot write the output: ") + std::strerror(errno));
    }
}

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

/// Walks UTF-8 text: calls f(codepoint, bytes) per character; an invalid
/// byte comes as codepoint -1 with that one byte.
template <typename F>
void ForEachChar(const std::string& text, F f) {
    const auto* p = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        utf8proc_int32_t cp = -1;
        utf8proc_ssize_t n = utf8proc_iterate(p + i, static_cast<utf8proc_ssize_t>(text.size() - i), &cp);
        if (n <= 0) {
            cp = -1;
            n = 1;
        }
        f(cp, std::string_view(text.data() + i, static_cast<std::size_t>(n)));
        i += static_cast<std::size_t>(n);
    }
}

int CharWidth(utf8proc_int32_t cp) { return cp < 0 ? 4 : std::max(0, utf8proc_charwidth(cp)); }

/// Control characters and bytes that are no UTF-8 as visible escapes.
std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    ForEachChar(text, [&](utf8proc_int32_t cp, std::string_view bytes) {
        char buf[16];
        if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp < 0x20 || cp == 0x7f) {  // a C0 control, or a byte that is no UTF-8 (-1)
            std::snprintf(buf, sizeof buf, "\\x%02x",
                          cp < 0 ? unsigned(static_cast<unsigned char>(bytes[0])) : unsigned(cp));
            out += buf;
        } else if (cp >= 0x80 && cp < 0xa0) {  // a C1 control
            std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(cp));
            out += buf;
        } else {
            out += bytes;
        }
    });
    return out;
}

/// `text` cut to `width` display columns, ending in "…" when cut.
std::string CutToWidth(const std::string& text, std::size_t width) {
    if (DisplayWidth(text) <= width) return text;
    std::string out;
    std::size_t used = 0;
    bool full = false;
    ForEachChar(text, [&](utf8proc_int32_t cp, std::string_view bytes) {
        const std::size_t w = static_cast<std::size_t>(CharWidth(cp));
        if (full || used + w > width - 1) {
            full = true;
            return;
        }
        used += w;
        out += bytes;
    });
    return out + "…";
}

bool IsJSONNumber(const std::string& s) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i > start;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (i < s.size() && s[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < s.size() && s[i] == '.' && (++i, !digits())) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == s.size();
}

// ---------------------------------------------------------------------------
// table

class TTableWriter : public TRowWriter {
public:
    TTableWriter(const TOutputOptions& o, std::FILE* out)
        : FOut(out),
          FHeader(!o.NoHeader),
          FNull(o.Null.value_or("(null)")),
          FExpanded(o.Expanded == "on"),
          FAutoWidth(o.Expanded == "auto" ? static_cast<std::size_t>(std::max(o.Width, 0)) : 0) {}

    void Begin(const std::vector<TColumn>& columns) override {
        FColumns = columns;
        FWidths.assign(columns.size(), 0);
        if (FHeader)
            for (std::size_t i = 0; i < columns.size(); ++i) FWidths[i] = Measure(EscapeControls(columns[i].Name));
        FNames.clear();
        FNameWidth = 0;
        for (const TColumn& c : columns) {
            FNames.push_back(EscapeControls(c.Name));
            FNameWidth = std::max(FNameWidth, DisplayWidth(FNames.back()));
        }
    }

    void Row(const TRow& row) override {
        std::vector<std::string> cells(row.size());
        for (std::size_t i = 0; i < row.size(); ++i) cells[i] = Render(FColumns[i].Kind, row[i]);
        if (FStarted) {
            Emit(cells);
            return;
        }
        for (std::size_t i = 0; i < cells.size(); ++i) FWidths[i] = std::max(FWidths[i], Measure(cells[i]));
        FPending.push_back(std::move(cells));
        if (FPending.size() >= kMeasureRows) Start();
    }

    void End(long long rows) override {
        if (!FStarted) Start();
        if (FHeader) Write(FOut, "(" + std::to_string(rows) + (rows == 1 ? " row)\n" : " rows)\n"));
    }

private:
    static std::size_t Measure(const std::string& cell) { return std::min(DisplayWidth(cell), kMaxWidth); }

    std::string Render(TCellKind kind, const TCell& cell) const {
        if (cell.Null) return FNull;
        switch (kind) {
            case TCellKind::Binary:
                if (cell.Placeholder) return cell.Text;
                return CutToWidth(Hex(cell.Text), kMaxWidth) + " (" + std::to_string(cell.Text.size()) +
                       (cell.Text.size() == 1 ? " byte)" : " bytes)");
            case TCellKind::Memo:
                return CutToWidth(EscapeControls(cell.Text), kMaxWidth);
            default:
                return EscapeControls(cell.Text);
        }
    }

    void Start() {
        FStarted = true;
        if (FAutoWidth > 0) {  // "auto": expanded when a table line would not fit the screen
            std::size_t line = FWidths.empty() ? 0 : 3 * (FWidths.size() - 1);
            for (std::size_t w : FWidths) line += w;
            FExpanded = line > FAutoWidth;
        }
        if (FExpanded) {
            for (const auto& cells : FPending)
                for (const std::string& cell : cells) FValueWidth = std::max(FValueWidth, Measure(cell));
            for (const auto& cells : FPending) Emit(cells);
            FPending.clear();
            FPending.shrink_to_fit();
            return;
        }
        if (FHeader) {
            std::vector<std::string> names;
            for (const TColumn& c : FColumns) names.push_back(EscapeControls(c.Name));
            Line(names, true);
            std::string rule;
            for (std::size_t i = 0; i < FWidths.size(); ++i)
                rule += (i == 0 ? "" : "-+-") + std::string(FWidths[i], '-');
            Write(FOut, rule + "\n");
        }
        for (const auto& cells : FPending) Line(cells);
        FPending.clear();
        FPending.shrink_to_fit();
    }

    void Emit(const std::vector<std::string>& cells) {
        if (FExpanded)
            Block(cells);
        else
            Line(cells);
    }

    /// One row of the expanded display: "-[ RECORD n ]" padded with "-" to
    /// the block's width (a blank line instead without a header), then
    /// "column | value" per column, the names padded to the widest.
    void Block(const std::vector<std::string>& cells) {
        ++FRecord;
        std::string out;
        if (FHeader) {
            std::string title = "-[ RECORD " + std::to_string(FRecord) + " ]";
            const std::size_t width = FNameWidth + 3 + FValueWidth;
            if (title.size() < width) title.append(width - title.size(), '-');
            out += title + "\n";
        } else if (FRecord > 1) {
            out += "\n";
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out += FNames[i];
            out.append(FNameWidth - DisplayWidth(FNames[i]), ' ');
            out += cells[i].empty() ? " |" : " | " + cells[i];
            out += "\n";
        }
        Write(FOut, out);
    }

    void Line(const std::vector<std::string>& cells, bool header = false) {
        std::string out;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::size_t w = DisplayWidth(cells[i]);
            const std::size_t pad = w < FWidths[i] ? FWidths[i] - w : 0;
            const bool right = !header && FColumns[i].Kind == TCellKind::Number;
            if (i > 0) out += " | ";
            if (right) out.append(pad, ' ');
            out += cells[i];
            if (!right && i + 1 < cells.size()) out.append(pad, ' ');
        }
        Write(FOut, out + "\n");
    }

    std::FILE* FOut;
    bool FHeader;
    std::string FNull;
    std::vector<TColumn> FColumns;
    std::vector<std::size_t> FWidths;
    std::vector<std::vector<std::string>> FPending;
    bool FStarted = false;
    bool FExpanded;
    std::size_t FAutoWidth;               ///< screen columns for "auto", else 0
    std::vector<std::string> FNames;      ///< the column names, escaped
    std::size_t FNameWidth = 0;           ///< widest name (expanded display)
    std::size_t FValueWidth = 0;          ///< widest value measured (expanded display)
    long long FRecord = 0;                ///< rows written as blocks
};

// ---------------------------------------------------------------------------
// csv and tsv

class TDelimitedWriter : public TRowWriter {
public:
    TDelimitedWriter(const TOutputOptions& o, std::FILE* out, bool tabs)
        : FOut(out), FHeader(!o.NoHeader), FTabs(tabs), FNull(o.Null.value_or(tabs ? "\\N" : "")) {}

    void Begin(const std::vector<TColumn>& columns) override {
        FColumns = columns;
        if (!FHeader) return;
        FLine.clear();
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i) FLine += Separator();
            AppendField(columns[i].Name);
        }
        FLine += End();
        Write(FOut, FLine);
    }

    void Row(const TRow& row) override {
        FLine.clear();
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i) FLine += Separator();
            const TCell& c = row[i];
            if (c.Null)
                FLine += FNull;
            else if (FColumns[i].Kind == TCellKind::Binary && !c.Placeholder)
                AppendField(Hex(c.Text));
            else
                AppendField(c.Text);
        }
        FLine += End();
        Write(FOut, FLine);
    }

    void End(long long) override {}

private:
    const char* Separator() const { return FTabs ? "\t" : ","; }
    const char* End() const { return FTabs ? "\n" : "\r\n"; }

    /// Appends `text` to the line as a field: escaped (tsv) or quoted where
    /// needed (csv), in runs rather than character by character.
    void AppendField(const std::string& text) {
        if (FTabs) {
            std::size_t from = 0;
            for (std::size_t at; (at = text.find_first_of("\\\t\n\r", from)) != std::string::npos; from = at + 1) {
                FLine.append(text, from, at - from);
                FLine += text[at] == '\\' ? "\\\\" : text[at] == '\t' ? "\\t" : text[at] == '\n' ? "\\n" : "\\r";
            }
            FLine.append(text, from, std::string::npos);
            return;
        }
        // An empty string is quoted, so that it differs from NULL. (One pass
        // over the text: find_first_of searches its set once a character.)
        const bool plain = std::none_of(text.begin(), text.end(),
                                        [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
        if (!text.empty() && plain) {
            FLine += text;
            return;
        }
        FLine += '"';
        std::size_t from = 0;
        for (std::size_t at; (at = text.find('"', from)) != std::string::npos; from = at + 1) {
            FLine.append(text, from, at + 1 - from);
            FLine += '"';
        }
        FLine.append(text, from, std::string::npos);
        FLine += '"';
    }

    std::FILE* FOut;
    bool FHeader;
    bool FTabs;
    std::string FNull;
    std::vector<TColumn> FColumns;
    std::string FLine;  ///< the line being built, kept to reuse its memory
};

// ---------------------------------------------------------------------------
// json and jsonl

class TJSONWriter : public TRowWriter {
public:
    TJSONWriter(std::FILE* out, bool lines) : FOut(out), FLines(lines) {}

    void Begin(const std::vector<TColumn>& columns) override {
        FColumns = columns;
        FKeys.clear();
        for (const TColumn& c : columns) FKeys.push_back(Quote(c.Name, c.Name) + ":");
    }

    void Row(const TRow& row) override {
        std::string line = FLines ? "{" : (FRows == 0 ? "[\n{" : ",\n{");
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i) line += ",";
            line += FKeys[i] + Value(FColumns[i], row[i]);
        }
        line += FLines ? "}\n" : "}";
        Write(FOut, line);
        ++FRows;
    }

    void End(long long) override {
        if (!FLines) Write(FOut, FRows == 0 ? "[]\n" : "\n]\n");
    }

private:
    static std::string Quote(const std::string& text, const std::string& column) {
        try {
            return nlohmann::json(text).dump();
        } catch (const nlohmann::json::exception&) {
            throw Exception("the value of column " + column + " is no UTF-8 text; JSON cannot carry it");
        }
    }

    static std::string Value(const TColumn& c, const TCell& cell) {
        if (cell.Null) return "null";
        if (cell.Placeholder) return Quote(cell.Text, c.Name);
        switch (c.Kind) {
            case TCellKind::Number:
                return IsJSONNumber(cell.Text) ? cell.Text : Quote(cell.Text, c.Name);
            case TCellKind::Boolean:
                if (SameText(cell.Text, "True")) return "true";
                if (SameText(cell.Text, "False")) return "false";
                return Quote(cell.Text, c.Name);
            case TCellKind::Binary:
                return "\"" + Hex(cell.Text) + "\"";
            default:
                return Quote(cell.Text, c.Name);
        }
    }

    std::FILE* FOut;
    bool FLines;
    std::vector<TColumn> FColumns;
    std::vector<std::string> FKeys;
    long long FRows = 0;
};

TCellKind KindOf(TField& f) {
    switch (f.DataType()) {
        case ftBoolean:
            return TCellKind::Boolean;
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic:
        case ftTypedBinary:
        case ftParadoxOle:
        case ftDBaseOle:
            return TCellKind::Binary;
        case ftMemo:
        case ftFmtMemo:
            return TCellKind::Memo;
        default:
            return dynamic_cast<TNumericField*>(&f) ? TCellKind::Number : TCellKind::Text;
    }
}

/// Decimals of a column held as a decimal, else -1 (the components' rule,
/// shared with the browser's grid): such a column reads as a number.
int ScaleOf(TDataSet& ds, TField& f) {
    if (f.DataType() == ftBCD) return f.Size();
    auto* odbc = dynamic_cast<TODBCDataSet*>(&ds);
    return odbc ? odbc->DecimalScale(&f) : -1;
}

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    ForEachChar(text, [&](utf8proc_int32_t cp, std::string_view) { width += static_cast<std::size_t>(CharWidth(cp)); });
    return width;
}

std::unique_ptr<TRowWriter> NewRowWriter(const TOutputOptions& options, std::FILE* out) {
    const std::string& f = options.Format;
    if (f == "table") return std::make_unique<TTableWriter>(options, out);
    if (f == "csv" || f == "tsv") return std::make_unique<TDelimitedWriter>(options, out, f == "tsv");
    if (f == "json" || f == "jsonl") return std::make_unique<TJSONWriter>(out, f == "jsonl");
    throw TUsageError{"unknown format " + f + " (table, csv, tsv, json or jsonl)"};
}

TDataSetReader::TDataSetReader(TDataSet& ds) : FDataSet(ds) {
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField* f = ds.Fields().Fields(i);
        FColumns.push_back({f->FieldName(), KindOf(*f)});
        FScales.push_back(ScaleOf(ds, *f));
        if (FScales.back() >= 0) FColumns.back().Kind = TCellKind::Number;
        FUnreadable.push_back(false);
    }
}

void TDataSetReader::Read(TRow& row) {
    row.resize(FColumns.size());
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
        TField* f = FDataSet.Fields().Fields(static_cast<int>(i));
        TCell& cell = row[i];
        cell.Placeholder = false;
        // Text, decimals and times the dataset holds as text answer with it
        // (AsString's text) and whether it is NULL, in one read of the record.
        bool exactNull = false;
        if (!f->IsBlob() && FDataSet.GetFieldExactText(f, cell.Text, exactNull)) {
            cell.Null = exactNull;
            if (cell.Null)
                cell.Text.clear();
            else if (FScales[i] > 0)
                cell.Text = WithDecimalScale(std::move(cell.Text), FScales[i]);
            continue;
        }
        cell.Null = f->IsNull();
        if (cell.Null) {
            cell.Text.clear();
        } else if (f->IsBlob()) {
            // Long values are read whole through the field's BLOB stream; a
            // dataset that offers none shows the field's display text and
            // says so once.
            if (!FUnreadable[i]) {
                try {
                    cell.Text = f->AsString();
                    continue;
                } catch (const Exception& e) {
                    FUnreadable[i] = true;
                    std::fprintf(stderr, "velora: the long values of column %s cannot be read here (%s); shown as %s\n",
                                 FColumns[i].Name.c_str(), e.Message().c_str(), std::string(f->DisplayText()).c_str());
                }
            }
            cell.Text = f->DisplayText();
            cell.Placeholder = true;
        } else {
            cell.Text = WithDecimalScale(f->AsString(), FScales[i]);
        }
    }
}

std::chrono::steady_clock::time_point TProgress::ProgramStart() {
    static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return start;
}

TProgress::TProgress() : FStart(std::chrono::steady_clock::now()), FNext(ProgramStart() + kQuiet) {
    // Only a terminal wants to see it, and only when the rows go elsewhere:
    // on the same terminal they would run through the progress line.
    FShown = ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO);
}

TProgress::~TProgress() {
    if (FDrawn) std::fputs("\r\033[K", stderr);
}

void TProgress::Step(long long rows) {
    if (!FShown || (rows & 1023) != 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < FNext) return;
    FNext = now + std::chrono::milliseconds(500);
    const double seconds = std::chrono::duration<double>(now - FStart).count();
    std::fprintf(stderr, "\r\033[K%lld rows, %.0f rows/s", rows, rows / seconds);
    std::fflush(stderr);
    FDrawn = true;
}

void WriteOneRow(TDataSet& ds, TRowWriter& writer, const TRow* row) {
    TDataSetReader reader(ds);
    TRow current;
    if (!row) reader.Read(current);
    writer.Begin(reader.Columns());
    writer.Row(row ? *row : current);
    writer.End(1);
}

long long WriteRows(TDataSet& ds, TRowWriter& writer) {
    TDataSetReader reader(ds);
    writer.Begin(reader.Columns());
    TRow row;
    long long count = 0;
    TProgress progress;
    for (; !ds.Eof(); ds.Next()) {
        reader.Read(row);
        writer.Row(row);
        progress.Step(++count);
    }
    writer.End(count);
    return count;
}

}  // namespace velora::app
