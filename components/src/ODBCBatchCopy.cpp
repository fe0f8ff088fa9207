// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCBatchCopy (ODBCBatchCopy.h): a batch's records gathered into
// parameter arrays of one insert, update or delete statement each, written
// ArrayChunk records at a time.
#include "velora/components/ODBCBatchCopy.h"

#include "ODBCParamSetLayout.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCDataSet.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/components/ODBCQuery.h"
#include "velora/classes/TypInfo.h"
#include "velora/db/Fields.h"
#include "velora/odbc/ODBCBoundary.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>
#include <functional>
#include <initializer_list>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace velora {

namespace {

std::vector<String> SplitNames(const String& text) {
    std::vector<String> out;
    String cur;
    for (char c : text + ";") {
        if (c == ';') {
            const String t = Trim(cur);
            if (!t.empty()) out.push_back(t);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return out;
}

/// A key's values as one text (NULL apart from every text).
String KeyText(const std::vector<TField*>& fields) {
    String key;
    for (TField* f : fields) key += f->IsNull() ? String("\x1e") : f->AsString() + "\x1f";
    return key;
}

/// A decimal a TODBCDataSet holds as its text (a field of ftFloat whose
/// AsString is the exact value) or a BCD field: its precision and scale
/// (precision 0: unknown; scale kAnyScale: any). False for other fields.
bool ExactDecimal(TField* f, int& precision, int& scale) {
    if (f->DataType() == ftBCD) {
        const auto* bcd = dynamic_cast<TBCDField*>(f);
        precision = bcd ? bcd->Precision() : 0;
        scale = f->Size();
        return true;
    }
    auto* ds = dynamic_cast<TODBCDataSet*>(f->DataSet());
    if (!ds || !ds->Engine() || f->FieldNo() < 1 || f->FieldKind() != fkData) return false;
    const auto& columns = ds->Engine()->Columns;
    const auto n = static_cast<std::size_t>(f->FieldNo() - 1);
    if (n >= columns.size() || columns[n].FldType != fcFloat || columns[n].CType != SQL_C_CHAR) return false;
    precision = columns[n].Precision;
    scale = columns[n].Units2;
    return true;
}

bool ExactDecimal(TField* f) {
    int p = 0, s = 0;
    return ExactDecimal(f, p, s);
}

/// The parameter type a field's values go in: a decimal as its exact text.
TFieldType ParamTypeOf(TField* f) { return ExactDecimal(f) ? ftBCD : f->DataType(); }

/// Copies a field's value into set `set` of an array, in the form that keeps
/// it whole: integers as integers, doubles as doubles, the rest as its text
/// (decimals and times through the dataset's exact text).
void PutValue(TField* f, TODBCParamArray& a, std::int64_t set) {
    if (f->IsNull()) return a.SetNull(set);
    if (ExactDecimal(f)) return a.SetAsString(set, f->AsString());
    switch (FieldTypeInfo(f->DataType()).Kind) {
        case TValueKind::Integer:
            return a.SetAsLargeInt(set, f->AsLargeInt());
        case TValueKind::Boolean:
            return a.SetAsBoolean(set, f->AsBoolean());
        case TValueKind::Float:
            return a.SetAsFloat(set, f->AsFloat());
        default:
            return a.SetAsString(set, f->AsString());
    }
}


// ---------------------------------------------------------------------------
// batCopy: a destination column type for each source field, from the
// driver's types (SQLGetTypeInfo).

bool Mentions(const String& params, const char* word) {
    return LowerCase(params).find(word) != String::npos;
}

/// A size of 0 or less is a type without a limit the driver names.
bool Holds(const TODBCTypeInfo& t, std::int64_t n) { return t.Size <= 0 || t.Size >= n; }

/// The largest of the types of `sqlTypes` (nil: none).
const TODBCTypeInfo* Largest(const std::vector<TODBCTypeInfo>& types, std::initializer_list<int> sqlTypes) {
    const TODBCTypeInfo* best = nullptr;
    for (const TODBCTypeInfo& t : types) {
        if (std::find(sqlTypes.begin(), sqlTypes.end(), t.SQLType) == sqlTypes.end()) continue;
        if (!best || (best->Size > 0 && (t.Size <= 0 || t.Size > best->Size))) best = &t;
    }
    return best;
}

/// A variable-length type of `sqlTypes` declared to `n` characters or
/// bytes: one whose CREATE_PARAMS take a length and whose most is at least
/// n, or one without parameters and without a limit (PostgreSQL's bytea).
String VarType(const std::vector<TODBCTypeInfo>& types, std::initializer_list<int> sqlTypes, std::int64_t n) {
    if (n <= 0) return {};
    for (const TODBCTypeInfo& t : types) {
        if (std::find(sqlTypes.begin(), sqlTypes.end(), t.SQLType) == sqlTypes.end()) continue;
        if (Mentions(t.CreateParams, "length") && Holds(t, n)) return t.Name + "(" + std::to_string(n) + ")";
        if (t.CreateParams.empty() && t.Size <= 0) return t.Name;
    }
    return {};
}

/// The type of the destination that holds every value of `f` whole, or
/// empty with `why` set. `fraction` answers the fraction digits of seconds a
/// time or time stamp column keeps (-1: as many as a value has).
String ColumnTypeFor(TField* f, const std::vector<TODBCTypeInfo>& types, String& why, int& fraction) {
    fraction = -1;
    const TFieldType type = ParamTypeOf(f);
    auto integer = [&](int bits, bool isUnsigned, int digits) -> String {
        const TODBCTypeInfo* best = nullptr;
        int bestBits = 0;
        for (const TODBCTypeInfo& t : types) {
            const int b = t.SQLType == SQL_TINYINT ? 8 : t.SQLType == SQL_SMALLINT ? 16
                        : t.SQLType == SQL_INTEGER ? 32 : t.SQLType == SQL_BIGINT ? 64 : 0;
            if (b == 0 || (t.Unsigned && !isUnsigned)) continue;
            if (b < bits + (isUnsigned && !t.Unsigned ? 1 : 0) || !Holds(t, digits)) continue;
            if (!best || b < bestBits) best = &t, bestBits = b;
        }
        if (best) return best->Name;
        why = "no integer type of " + std::to_string(bits) + " bits";
        return {};
    };
    auto floating = [&](int digits) -> String {
        for (int sqlType : {SQL_DOUBLE, SQL_FLOAT})
            for (const TODBCTypeInfo& t : types)
                if (t.SQLType == sqlType && t.Size >= 15 && t.Size >= digits) return t.Name;
        return {};
    };
    auto timeType = [&](int sqlType, const char* what) -> String {
        for (const TODBCTypeInfo& t : types) {
            if (t.SQLType != sqlType) continue;
            if (Mentions(t.CreateParams, "scale") || Mentions(t.CreateParams, "precision")) {
                fraction = 6;
                return t.Name + "(6)";
            }
            fraction = t.MaxScale;
            return t.Name;
        }
        why = String("no ") + what + " type";
        return {};
    };
    const TFieldTypeInfo& info = FieldTypeInfo(type);
    switch (info.Kind) {
        case TValueKind::Integer: {
            // Digits of the widest value of 16, 32 and 64 bits.
            const int bits = info.DataSize * 8;
            return integer(bits, !info.Signed, bits == 16 ? 5 : bits == 32 ? 10 : 19);
        }
        case TValueKind::Boolean:
            for (const TODBCTypeInfo& t : types)
                if (t.SQLType == SQL_BIT) return t.Name;
            why = "no Boolean type";
            return {};
        case TValueKind::Float:
            if (String t = floating(15); !t.empty()) return t;
            why = "no floating-point type of 15 digits";
            return {};
        case TValueKind::Decimal: {
            int p = 0, s = 0;
            ExactDecimal(f, p, s);
            if (p <= 0 || s < 0) {
                why = "a decimal of unknown precision or scale";
                return {};
            }
            for (const TODBCTypeInfo& t : types)
                if ((t.SQLType == SQL_DECIMAL || t.SQLType == SQL_NUMERIC) && Holds(t, p) &&
                    (t.MaxScale < 0 || t.MaxScale >= s))
                    return t.CreateParams.empty() ? t.Name
                                                  : t.Name + "(" + std::to_string(p) + "," + std::to_string(s) + ")";
            // Up to 15 digits a double holds the decimal's value exactly.
            if (p <= 15)
                if (String t = floating(p); !t.empty()) return t;
            why = "no exact decimal type of precision " + std::to_string(p) + " and scale " + std::to_string(s);
            return {};
        }
        case TValueKind::Date:
            for (const TODBCTypeInfo& t : types)
                if (t.SQLType == SQL_TYPE_DATE) return t.Name;
            why = "no date type";
            return {};
        case TValueKind::Time:
            return timeType(SQL_TYPE_TIME, "time");
        case TValueKind::DateTime:
            return timeType(SQL_TYPE_TIMESTAMP, "time stamp");
        case TValueKind::Text:
            if (String t = VarType(types, {SQL_VARCHAR, SQL_WVARCHAR}, f->Size()); !t.empty()) return t;
            [[fallthrough]];
        case TValueKind::LongText:
            if (const TODBCTypeInfo* t = Largest(types, {SQL_LONGVARCHAR, SQL_WLONGVARCHAR})) return t->Name;
            why = "no long character type";
            return {};
        case TValueKind::Bytes:
            if (!info.Blob)
                if (String t = VarType(types, {SQL_VARBINARY}, f->Size()); !t.empty()) return t;
            if (const TODBCTypeInfo* t = Largest(types, {SQL_LONGVARBINARY})) return t->Name;
            why = "no long binary type";
            return {};
        default:
            why = String("no column type for ") + FieldTypeName(f->DataType());
            return {};
    }
}

/// The digits of a time's fraction of seconds in its text, trailing zeros
/// aside ("12:00:00.120" has 2).
int FractionDigits(const String& text) {
    const auto dot = text.rfind('.');
    if (dot == String::npos || text.find(':') == String::npos || dot < text.rfind(':')) return 0;
    auto end = text.size();
    while (end > dot + 1 && text[end - 1] == '0') --end;
    return static_cast<int>(end - dot - 1);
}

/// The pairs "destination column, source field" of a batch: Mappings lines
/// "dest=source" ("name" alone: the same name on both sides), without lines
/// every data field of the source under its own name.
std::vector<std::pair<String, TField*>> CopyColumns(TDataSet& source, TStrings& mappings) {
    std::vector<std::pair<String, TField*>> out;
    for (int i = 0; i < mappings.Count(); ++i) {
        const String line = Trim(mappings.Strings(i));
        if (line.empty()) continue;
        const auto eq = line.find('=');
        const String dest = Trim(line.substr(0, eq));
        out.emplace_back(dest, source.FieldByName(eq == String::npos ? dest : Trim(line.substr(eq + 1))));
    }
    if (mappings.Count() == 0)
        for (int i = 0; i < source.FieldCount(); ++i)
            if (TField* f = source.Fields().Fields(i); f->FieldKind() == fkData) out.emplace_back(f->FieldName(), f);
    return out;
}

/// CREATE TABLE `table` with a column of the destination's types for each
/// of `columns` (and KeyFields as its primary key); answers the fraction
/// digits of seconds each time or time stamp column keeps, by lower-case
/// column name. Refuses every field without a type before creating anything.
std::unordered_map<String, int> CreateCopyTable(TODBCDatabase& db, const String& table,
                                                const std::vector<std::pair<String, TField*>>& columns,
                                                const String& keyFields) {
    if (columns.empty()) DatabaseError("No source field to copy into " + table);
    const std::vector<TODBCTypeInfo> types = ODBCListTypes(db);
    std::unordered_map<String, int> fractions;
    String list, refused;
    for (const auto& [name, field] : columns) {
        String why;
        int fraction = -1;
        const String type = ColumnTypeFor(field, types, why, fraction);
        if (type.empty()) {
            refused += (refused.empty() ? "" : "; ") + ("field '" + field->FieldName() + "' (" +
                                                         FieldTypeName(ParamTypeOf(field)) + "): " + why);
            continue;
        }
        list += (list.empty() ? "" : ", ") + name + " " + type;
        if (fraction >= 0) fractions[LowerCase(name)] = fraction;
    }
    if (!refused.empty())
        DatabaseError("Cannot create table " + table + ": the destination has no type that holds every value of " +
                      refused);
    const std::vector<String> keys = SplitNames(keyFields);
    if (!keys.empty()) {
        list += ", PRIMARY KEY (";
        for (std::size_t k = 0; k < keys.size(); ++k) list += (k ? ", " : "") + keys[k];
        list += ")";
    }
    TODBCQuery q(nullptr);
    q.SetDataBase(&db);
    q.SetParamCheck(false);
    q.SQL()->SetText("CREATE TABLE " + table + " (" + list + ")");
    q.ExecSQL();
    return fractions;
}

/// The text a problem table receives for set `set` of an array (none for
/// NULL): numbers and times as their exact text, bytes of a binary
/// parameter as upper-case hexadecimal digits.
std::optional<String> SetText(const TODBCParamArray& a, std::int64_t set, bool binary) {
    switch (a.Kind(set)) {
        case TODBCParamArray::TKind::Int:
            return std::to_string(a.AsLargeInt(set));
        case TODBCParamArray::TKind::Float: {
            char buf[32];
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, a.AsFloat(set));
            return ec == std::errc() ? String(buf, end) : String();
        }
        case TODBCParamArray::TKind::DateTime: {
            int y, mo, d, h, mi, sec;
            std::uint32_t ns;
            a.DecodeTimeStamp(set, y, mo, d, h, mi, sec, ns);
            char buf[48];
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%09u", y, mo, d, h, mi, sec, ns);
            return String(buf);
        }
        case TODBCParamArray::TKind::Text: {
            const std::string_view t = a.AsText(set);
            if (!binary) return String(t);
            static const char* digits = "0123456789ABCDEF";
            String hex;
            for (unsigned char c : t) hex += {digits[c >> 4], digits[c & 15]};
            return hex;
        }
        default:
            return std::nullopt;
    }
}


}  // namespace

/// One statement of the batch with the fields feeding its parameters.
struct TBatchStatement {
    std::unique_ptr<TODBCQuery> Query;
    std::vector<TField*> Fields;      ///< one a parameter
    std::vector<String> Columns;      ///< the destination column of each parameter
    std::vector<int> Fractions;       ///< fraction digits of seconds the column keeps; -1: any
    std::vector<std::int64_t> RecNo;  ///< the source record of each queued set
    std::int64_t Queued = 0;
};

TODBCBatchCopy::TODBCBatchCopy(TComponent* AOwner) : TComponent(AOwner), FMappings(new TStringList()) {
    RegisterODBCBatchCopyClasses();
}

TODBCBatchCopy::~TODBCBatchCopy() {
    SetSource(nullptr);
    SetDestination(nullptr);
}

void TODBCBatchCopy::SetSource(TDataSet* Value) {
    if (FSource == Value) return;
    if (FSource) FSource->RemoveFreeNotification(this);
    FSource = Value;
    if (FSource) FSource->FreeNotification(this);
}

void TODBCBatchCopy::SetDestination(TODBCDatabase* Value) {
    if (FDestination == Value) return;
    if (FDestination) FDestination->RemoveFreeNotification(this);
    FDestination = Value;
    if (FDestination) FDestination->FreeNotification(this);
}

void TODBCBatchCopy::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == FSource) FSource = nullptr;
    if (AComponent == FDestination) FDestination = nullptr;
}

void TODBCBatchCopy::Execute() {
    FRowsRead = FRowsWritten = FRowsSkipped = FRowsInError = 0;
    if (!FSource) DatabaseError("'" + Name() + "': no source dataset");
    if (!FDestination) DatabaseError("'" + Name() + "': no destination database");
    if (FTableName.empty()) DatabaseError("'" + Name() + "': no destination table");
    FDestination->Open();
    if (FMode == batCopy && FDestination->InTransaction())
        DatabaseError("Batch mode batCopy creates a table: end the destination's transaction first");
    const bool wasActive = FSource->Active();
    if (!wasActive) FSource->Open();
    // On an error: the source closed again when the batch opened it, and a
    // table batCopy created dropped when the batch is one transaction (its
    // rows are rolled back with it).
    bool created = false, done = false;
    struct TCleanup {
        std::function<void()> Run;
        ~TCleanup() { Run(); }
    } cleanup{[&] {
        if (done) return;
        try {
            if (!wasActive && FSource->Active()) FSource->Close();
        } catch (...) {
        }
        if (!created || FCommitEvery > 0) return;
        try {
            TODBCQuery drop(nullptr);
            drop.SetDataBase(FDestination);
            drop.SetParamCheck(false);
            drop.SQL()->SetText("DROP TABLE " + FTableName);
            drop.ExecSQL();
        } catch (...) {
        }
    }};
    std::unordered_map<String, int> fractions;  // batCopy: fraction digits a created column keeps, by lower-case name
    if (FMode == batCopy) {
        fractions = CreateCopyTable(*FDestination, FTableName, CopyColumns(*FSource, *FMappings), FKeyFields);
        created = true;
    }

    // Destination columns and the source field of each.
    const std::vector<TODBCColumnInfo> columns = ODBCListColumns(*FDestination, FTableName);
    auto column = [&](const String& name) -> const TODBCColumnInfo* {
        for (const auto& c : columns)
            if (SameText(c.Name, name)) return &c;
        return nullptr;
    };
    std::vector<std::pair<String, TField*>> map;  // destination column, source field
    if (FMappings->Count() > 0) {
        for (int i = 0; i < FMappings->Count(); ++i) {
            const String line = Trim(FMappings->Strings(i));
            if (line.empty()) continue;
            const auto eq = line.find('=');
            const String dest = Trim(line.substr(0, eq));
            const String src = eq == String::npos ? dest : Trim(line.substr(eq + 1));
            const TODBCColumnInfo* c = column(dest);
            if (!c) DatabaseError("Table " + FTableName + " has no column '" + dest + "'");
            map.emplace_back(c->Name, FSource->FieldByName(src));
        }
    } else {
        for (const auto& c : columns)
            if (TField* f = FSource->FindField(c.Name)) map.emplace_back(c.Name, f);
    }
    if (map.empty()) DatabaseError("No source field matches a column of " + FTableName);

    // Keys.
    std::vector<String> keys = SplitNames(FKeyFields);
    const bool keyed = FMode != batAppend && FMode != batCopy;
    if (keys.empty() && keyed) keys = ODBCPrimaryKey(*FDestination, FTableName);
    if (keys.empty() && keyed)
        DatabaseError("Table " + FTableName + " has no primary key; name the key columns in KeyFields");
    std::vector<TField*> keySource;
    for (const String& k : keys) {
        TField* f = nullptr;
        for (auto& [dest, src] : map)
            if (SameText(dest, k)) f = src;
        if (!f) DatabaseError("Key column '" + k + "' has no source field");
        keySource.push_back(f);
    }

    // The destination's keys, read before the first write.
    std::unordered_set<String> existing;
    if (keyed) {
        String list;
        for (const String& k : keys) list += (list.empty() ? "" : ", ") + k;
        TODBCQuery q(nullptr);
        q.SetDataBase(FDestination);
        q.SetUniDirectional(true);
        q.SQL()->SetText("SELECT " + list + " FROM " + FTableName);
        q.Open();
        std::vector<TField*> kf;
        for (int i = 0; i < q.FieldCount(); ++i) kf.push_back(q.Fields().Fields(i));
        for (; !q.Eof(); q.Next())
            if (!existing.insert(KeyText(kf)).second)
                DatabaseError("Key (" + list + ") matches more than one row of " + FTableName +
                              "; the batch is refused");
        q.Close();
    }

    // Statements.
    auto isKey = [&](const String& col) {
        for (const String& k : keys)
            if (SameText(k, col)) return true;
        return false;
    };
    auto makeQuery = [&](const String& sql, std::vector<TField*> fields, std::vector<String> names) {
        auto st = std::make_unique<TBatchStatement>();
        st->Query = std::make_unique<TODBCQuery>(nullptr);
        st->Query->SetDataBase(FDestination);
        st->Query->SQL()->SetText(sql);
        for (int i = 0; i < st->Query->ParamCount(); ++i)
            st->Query->Params()->Entry(i)->SetDataType(ParamTypeOf(fields[static_cast<std::size_t>(i)]));
        st->Query->SetArrayChunk(FArrayChunk);
        st->Query->SetArraySize(FArrayChunk);
        st->Fields = std::move(fields);
        for (const String& n : names) {
            const auto at = fractions.find(LowerCase(n));
            st->Fractions.push_back(at == fractions.end() ? -1 : at->second);
        }
        st->Columns = std::move(names);
        return st;
    };
    std::unique_ptr<TBatchStatement> insert, update, remove;
    String where;
    std::vector<TField*> whereFields;
    std::vector<String> whereNames;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        where += (k ? " AND " : " WHERE ") + keys[k] + " = :k" + std::to_string(k);
        whereFields.push_back(keySource[k]);
        whereNames.push_back(keys[k]);
    }
    if (!keyed || FMode == batAppendUpdate) {
        String cols, vals;
        std::vector<TField*> fields;
        std::vector<String> names;
        for (std::size_t i = 0; i < map.size(); ++i) {
            cols += (i ? ", " : "") + map[i].first;
            vals += (i ? ", :v" : ":v") + std::to_string(i);
            fields.push_back(map[i].second);
            names.push_back(map[i].first);
        }
        insert = makeQuery("INSERT INTO " + FTableName + " (" + cols + ") VALUES (" + vals + ")", fields, names);
    }
    if (FMode == batUpdate || FMode == batAppendUpdate) {
        String sets;
        std::vector<TField*> fields;
        std::vector<String> names;
        for (std::size_t i = 0; i < map.size(); ++i) {
            if (isKey(map[i].first)) continue;
            sets += (fields.empty() ? "" : ", ") + map[i].first + " = :v" + std::to_string(i);
            fields.push_back(map[i].second);
            names.push_back(map[i].first);
        }
        if (!fields.empty()) {
            fields.insert(fields.end(), whereFields.begin(), whereFields.end());
            names.insert(names.end(), whereNames.begin(), whereNames.end());
            update = makeQuery("UPDATE " + FTableName + " SET " + sets + where, fields, names);
        }
    }
    if (FMode == batDelete) remove = makeQuery("DELETE FROM " + FTableName + where, whereFields, whereNames);

    // The problem table: a row for each record in error, its number, the
    // error and the values of the statement's columns as text.
    std::unique_ptr<TBatchStatement> problems;
    std::vector<String> problemColumns;  // the mapped columns the problem table has
    if (!FProblemTable.empty()) {
        if (SameText(FProblemTable, FTableName)) DatabaseError("The problem table cannot be the destination table");
        std::vector<TODBCColumnInfo> have;
        try {
            have = ODBCListColumns(*FDestination, FProblemTable);
        } catch (const EDatabaseError&) {
            if (FDestination->InTransaction())
                DatabaseError("Problem table " + FProblemTable + " does not exist; it is created only outside a "
                              "transaction");
            const std::vector<TODBCTypeInfo> types = ODBCListTypes(*FDestination);
            const TODBCTypeInfo* text = Largest(types, {SQL_LONGVARCHAR, SQL_WLONGVARCHAR});
            String big;
            for (const TODBCTypeInfo& t : types)
                if (big.empty() && t.SQLType == SQL_BIGINT && !t.Unsigned) big = t.Name;
            if (!text || big.empty()) DatabaseError("The destination has no types for a problem table");
            String list = "batch_record_no " + big + ", batch_error " + text->Name;
            for (const auto& [dest, src] : map) list += ", " + dest + " " + text->Name;
            TODBCQuery create(nullptr);
            create.SetDataBase(FDestination);
            create.SetParamCheck(false);
            create.SQL()->SetText("CREATE TABLE " + FProblemTable + " (" + list + ")");
            create.ExecSQL();
            have = ODBCListColumns(*FDestination, FProblemTable);
        }
        auto has = [&](const String& name) {
            return std::any_of(have.begin(), have.end(), [&](const TODBCColumnInfo& c) { return SameText(c.Name, name); });
        };
        if (!has("batch_record_no") || !has("batch_error"))
            DatabaseError("Problem table " + FProblemTable + " has no columns batch_record_no and batch_error");
        String cols = "batch_record_no, batch_error", vals = ":r, :e";
        for (std::size_t i = 0; i < map.size(); ++i)
            if (has(map[i].first) && !SameText(map[i].first, "batch_record_no") && !SameText(map[i].first, "batch_error")) {
                cols += ", " + map[i].first;
                vals += ", :c" + std::to_string(i);
                problemColumns.push_back(map[i].first);
            }
        problems = std::make_unique<TBatchStatement>();
        problems->Query = std::make_unique<TODBCQuery>(nullptr);
        problems->Query->SetDataBase(FDestination);
        problems->Query->SQL()->SetText("INSERT INTO " + FProblemTable + " (" + cols + ") VALUES (" + vals + ")");
        problems->Query->Params()->Entry(0)->SetDataType(ftLargeint);
        for (int i = 1; i < problems->Query->ParamCount(); ++i) problems->Query->Params()->Entry(i)->SetDataType(ftMemo);
        problems->Query->SetArrayChunk(FArrayChunk);
        problems->Query->SetArraySize(FArrayChunk);
    }
    auto flushProblems = [&] {
        if (!problems || problems->Queued == 0) return;
        problems->Query->SetArraySize(problems->Queued);
        try {
            problems->Query->ExecSQL();
        } catch (const EODBCParamSetError& e) {
            DatabaseError("Problem table " + FProblemTable + " refused record " +
                          std::to_string(problems->RecNo[static_cast<std::size_t>(e.FailedSets.front())]) + ": " +
                          e.Message());
        }
        problems->Queued = 0;
        problems->RecNo.clear();
        problems->Query->SetArraySize(FArrayChunk);
    };
    // A record in error: counted, reported, and written to the problem table
    // with the value of each column `valueOf` gives.
    auto problem = [&](std::int64_t recNo, const String& message,
                       const std::function<std::optional<String>(const String&)>& valueOf) {
        ++FRowsInError;
        if (OnProblem) OnProblem(this, recNo, message);
        if (!problems) return;
        const std::int64_t set = problems->Queued;
        problems->Query->ArrayValues(0)->SetAsLargeInt(set, recNo);
        problems->Query->ArrayValues(1)->SetAsString(set, message);
        for (std::size_t k = 0; k < problemColumns.size(); ++k) {
            const std::optional<String> v = valueOf(problemColumns[k]);
            TODBCParamArray* a = problems->Query->ArrayValues(static_cast<int>(k + 2));
            if (v) a->SetAsString(set, *v);
            else a->SetNull(set);
        }
        problems->RecNo.push_back(recNo);
        if (++problems->Queued == FArrayChunk) flushProblems();
    };

    auto flush = [&](TBatchStatement* st) {
        if (!st || st->Queued == 0) return;
        st->Query->SetArraySize(st->Queued);
        try {
            st->Query->ExecSQL();
            FRowsWritten += st->Queued;
        } catch (const EODBCParamSetError& e) {
            FRowsWritten += st->Queued - static_cast<std::int64_t>(e.FailedSets.size());
            for (std::int64_t set : e.FailedSets)
                problem(st->RecNo[static_cast<std::size_t>(set)],
                        set == e.FailedSets.front() ? e.Message() : String("the server refused the row"),
                        [&](const String& column) -> std::optional<String> {
                            for (std::size_t i = 0; i < st->Columns.size(); ++i)
                                if (SameText(st->Columns[i], column))
                                    return SetText(*st->Query->ArrayValues(static_cast<int>(i)), set,
                                                   IsBinaryType(st->Fields[i]->DataType()));
                            return std::nullopt;
                        });
        }
        st->Queued = 0;
        st->RecNo.clear();
        // The arrays' text blocks only grow while sets are written: emptied
        // after each call, a batch of any length holds one chunk's text.
        for (int i = 0; i < st->Query->ParamCount(); ++i) st->Query->ArrayValues(i)->Clear();
        st->Query->SetArraySize(FArrayChunk);
    };
    auto queue = [&](TBatchStatement* st) {
        // A time whose fraction of a second the column would cut is refused.
        for (std::size_t i = 0; i < st->Fields.size(); ++i) {
            TField* f = st->Fields[i];
            if (st->Fractions[i] < 0 || f->IsNull() || (f->DataType() != ftDateTime && f->DataType() != ftTime))
                continue;
            const String text = f->AsString();
            if (FractionDigits(text) <= st->Fractions[i]) continue;
            problem(FRowsRead,
                    "Column " + st->Columns[i] + " keeps " + std::to_string(st->Fractions[i]) +
                        " digits of a fraction of a second: the value " + text + " would lose its fraction",
                    [&](const String& column) -> std::optional<String> {
                        for (const auto& [dest, field] : map) {
                            if (!SameText(dest, column) || field->IsNull()) continue;
                            if (!IsBinaryType(field->DataType())) return field->AsString();
                            TODBCParamArray one;
                            one.SetSize(1);
                            one.SetAsString(0, field->AsString());
                            return SetText(one, 0, true);
                        }
                        return std::nullopt;
                    });
            return;
        }
        for (std::size_t i = 0; i < st->Fields.size(); ++i)
            PutValue(st->Fields[i], *st->Query->ArrayValues(static_cast<int>(i)), st->Queued);
        st->RecNo.push_back(FRowsRead);
        if (++st->Queued == FArrayChunk) {
            // An update may be of a row an earlier record inserts: the
            // inserts queued so far go first.
            if (st != insert.get()) flush(insert.get());
            flush(st);
        }
    };
    auto flushAll = [&] {
        flush(insert.get());  // inserts first: a later record may update what an earlier one inserted
        flush(update.get());
        flush(remove.get());
        flushProblems();
    };

    const bool ownTransaction = !FDestination->InTransaction();
    if (ownTransaction) FDestination->StartTransaction();
    try {
        std::int64_t sinceCommit = 0;
        // A source that stands on its first record is read from there: a
        // uni-directional one (read once, forward) cannot go back to it.
        if (!FSource->Bof()) FSource->First();
        for (; !FSource->Eof(); FSource->Next()) {
            ++FRowsRead;
            const bool matches = keyed && existing.count(KeyText(keySource)) > 0;
            switch (FMode) {
                case batAppend:
                case batCopy:
                    queue(insert.get());
                    break;
                case batAppendUpdate:
                    if (matches) {
                        if (update) queue(update.get());
                        else ++FRowsSkipped;
                    } else {
                        queue(insert.get());
                        existing.insert(KeyText(keySource));
                    }
                    break;
                case batUpdate:
                    if (matches && update) queue(update.get());
                    else ++FRowsSkipped;
                    break;
                case batDelete:
                    if (matches) queue(remove.get());
                    else ++FRowsSkipped;
                    break;
                default:
                    break;
            }
            if (FCommitEvery > 0 && ++sinceCommit == FCommitEvery) {
                flushAll();
                if (ownTransaction) {
                    FDestination->Commit();
                    FDestination->StartTransaction();
                }
                sinceCommit = 0;
                if (OnProgress) OnProgress(this, FRowsRead);
            } else if (FRowsRead % FArrayChunk == 0 && OnProgress) {
                OnProgress(this, FRowsRead);
            }
        }
        flushAll();
        if (ownTransaction) FDestination->Commit();
        done = true;
    } catch (...) {
        if (ownTransaction && FDestination->InTransaction()) {
            try {
                FDestination->Rollback();
            } catch (...) {
            }
        }
        if (!wasActive) FSource->Close();
        throw;
    }
    if (OnProgress) OnProgress(this, FRowsRead);
    if (!wasActive) FSource->Close();
}

void RegisterODBCBatchCopyClasses() {
    static const bool registered = [] {
        const TEnumInfo& modes =
            RegisterEnum("TBatchMode", {"batAppend", "batUpdate", "batAppendUpdate", "batDelete", "batCopy"});
        RegisterClass<TODBCBatchCopy>("TODBCBatchCopy", "TComponent")
            .ComponentProp("Source", &TODBCBatchCopy::Source, &TODBCBatchCopy::SetSource)
            .ComponentProp("Destination", &TODBCBatchCopy::Destination, &TODBCBatchCopy::SetDestination)
            .StringProp("TableName", &TODBCBatchCopy::TableName, &TODBCBatchCopy::SetTableName)
            .EnumProp("Mode", modes, &TODBCBatchCopy::Mode, &TODBCBatchCopy::SetMode)
            .ObjectProp("Mappings", &TODBCBatchCopy::Mappings)
            .StringProp("KeyFields", &TODBCBatchCopy::KeyFields, &TODBCBatchCopy::SetKeyFields)
            .IntegerProp("CommitEvery", &TODBCBatchCopy::CommitEvery, &TODBCBatchCopy::SetCommitEvery)
            .StringProp("ProblemTable", &TODBCBatchCopy::ProblemTable, &TODBCBatchCopy::SetProblemTable);
        return true;
    }();
    (void)registered;
}

const bool kBatchCopyRegistered = (RegisterODBCBatchCopyClasses(), true);

}  // namespace velora
