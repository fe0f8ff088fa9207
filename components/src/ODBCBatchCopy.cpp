// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCBatchCopy (ODBCBatchCopy.h): a batch's records gathered into
// parameter arrays of one insert, update or delete statement each, written
// ArrayChunk records at a time.
#include "velora/components/ODBCBatchCopy.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCQuery.h"
#include "velora/classes/TypInfo.h"
#include "velora/db/Fields.h"

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

/// Copies a field's value into set `set` of an array, in the form that keeps
/// it whole: integers as integers, doubles as doubles, the rest as its text
/// (decimals and times through the dataset's exact text).
void PutValue(TField* f, TODBCParamArray& a, std::int64_t set) {
    if (f->IsNull()) return a.SetNull(set);
    switch (f->DataType()) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftAutoInc:
        case ftLargeint:
            return a.SetAsLargeInt(set, f->AsLargeInt());
        case ftBoolean:
            return a.SetAsBoolean(set, f->AsBoolean());
        case ftFloat:
        case ftCurrency:
            return a.SetAsFloat(set, f->AsFloat());
        default:
            return a.SetAsString(set, f->AsString());
    }
}

}  // namespace

/// One statement of the batch with the fields feeding its parameters.
struct TBatchStatement {
    std::unique_ptr<TODBCQuery> Query;
    std::vector<TField*> Fields;      ///< one a parameter
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
    if (FMode == batCopy) DatabaseError("Batch mode batCopy is not available");
    FDestination->Open();
    const bool wasActive = FSource->Active();
    if (!wasActive) FSource->Open();

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
    if (keys.empty() && FMode != batAppend) keys = ODBCPrimaryKey(*FDestination, FTableName);
    if (keys.empty() && FMode != batAppend)
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
    if (FMode != batAppend) {
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
    auto makeQuery = [&](const String& sql, std::vector<TField*> fields) {
        auto st = std::make_unique<TBatchStatement>();
        st->Query = std::make_unique<TODBCQuery>(nullptr);
        st->Query->SetDataBase(FDestination);
        st->Query->SQL()->SetText(sql);
        for (int i = 0; i < st->Query->ParamCount(); ++i)
            st->Query->Params()->Entry(i)->SetDataType(fields[static_cast<std::size_t>(i)]->DataType());
        st->Query->SetArrayChunk(FArrayChunk);
        st->Query->SetArraySize(FArrayChunk);
        st->Fields = std::move(fields);
        return st;
    };
    std::unique_ptr<TBatchStatement> insert, update, remove;
    String where;
    std::vector<TField*> whereFields;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        where += (k ? " AND " : " WHERE ") + keys[k] + " = :k" + std::to_string(k);
        whereFields.push_back(keySource[k]);
    }
    if (FMode == batAppend || FMode == batAppendUpdate) {
        String cols, vals;
        std::vector<TField*> fields;
        for (std::size_t i = 0; i < map.size(); ++i) {
            cols += (i ? ", " : "") + map[i].first;
            vals += (i ? ", :v" : ":v") + std::to_string(i);
            fields.push_back(map[i].second);
        }
        insert = makeQuery("INSERT INTO " + FTableName + " (" + cols + ") VALUES (" + vals + ")", fields);
    }
    if (FMode == batUpdate || FMode == batAppendUpdate) {
        String sets;
        std::vector<TField*> fields;
        for (std::size_t i = 0; i < map.size(); ++i) {
            if (isKey(map[i].first)) continue;
            sets += (fields.empty() ? "" : ", ") + map[i].first + " = :v" + std::to_string(i);
            fields.push_back(map[i].second);
        }
        if (!fields.empty()) {
            fields.insert(fields.end(), whereFields.begin(), whereFields.end());
            update = makeQuery("UPDATE " + FTableName + " SET " + sets + where, fields);
        }
    }
    if (FMode == batDelete) remove = makeQuery("DELETE FROM " + FTableName + where, whereFields);

    auto flush = [&](TBatchStatement* st) {
        if (!st || st->Queued == 0) return;
        st->Query->SetArraySize(st->Queued);
        try {
            st->Query->ExecSQL();
            FRowsWritten += st->Queued;
        } catch (const EODBCParamSetError& e) {
            FRowsWritten += st->Queued - static_cast<std::int64_t>(e.FailedSets.size());
            FRowsInError += static_cast<std::int64_t>(e.FailedSets.size());
            if (OnProblem)
                for (std::int64_t set : e.FailedSets)
                    OnProblem(this, st->RecNo[static_cast<std::size_t>(set)],
                              set == e.FailedSets.front() ? e.Message() : String("the server refused the row"));
        }
        st->Queued = 0;
        st->RecNo.clear();
        // The arrays' text blocks only grow while sets are written: emptied
        // after each call, a batch of any length holds one chunk's text.
        for (int i = 0; i < st->Query->ParamCount(); ++i) st->Query->ArrayValues(i)->Clear();
        st->Query->SetArraySize(FArrayChunk);
    };
    auto queue = [&](TBatchStatement* st) {
        for (std::size_t i = 0; i < st->Fields.size(); ++i)
            PutValue(st->Fields[i], *st->Query->ArrayValues(static_cast<int>(i)), st->Queued);
        st->RecNo.push_back(FRowsRead);
        if (++st->Queued == FArrayChunk) flush(st);
    };
    auto flushAll = [&] {
        flush(insert.get());  // inserts first: a later record may update what an earlier one inserted
        flush(update.get());
        flush(remove.get());
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
            const bool matches = FMode != batAppend && existing.count(KeyText(keySource)) > 0;
            switch (FMode) {
                case batAppend:
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
            .IntegerProp("CommitEvery", &TODBCBatchCopy::CommitEvery, &TODBCBatchCopy::SetCommitEvery);
        return true;
    }();
    (void)registered;
}

const bool kBatchCopyRegistered = (RegisterODBCBatchCopyClasses(), true);

}  // namespace velora
