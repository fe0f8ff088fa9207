// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCBatchCopy: moves the records of a source dataset (any dataset, on any
// data source) into a destination table through parameter arrays
// (TODBCQuery::SetArraySize), in the modes of TBatchMode:
//   batAppend        insert every record;
//   batUpdate        update the rows whose key matches, skip the others;
//   batAppendUpdate  update the matches, insert the rest;
//   batDelete        delete the rows whose key matches, skip the others;
//   batCopy          create the table, then append.
//
// batCopy creates TableName with a column for each mapped source field (every
// data field without Mappings lines) and KeyFields as its primary key. Each
// column's type is chosen from the destination driver's types
// (SQLGetTypeInfo) to hold every value of the field whole: integers the
// smallest type of at least the field's bits and digits (never an unsigned
// type for a signed field); doubles a double of 15 digits or more; decimals
// a decimal type whose COLUMN_SIZE and MAXIMUM_SCALE take the field's
// precision and scale, else, up to 15 digits, a double (which holds such a
// value exactly; SQLite has no decimal type; a decimal of unknown precision
// or scale, as an unconstrained numeric, has none); strings a variable type
// declared to the field's size when the driver's most allows it, else the
// largest long character type; memos the largest long character type;
// bytes and BLOBs likewise with the binary types; dates, times and time
// stamps the driver's first type of their kind (PostgreSQL's driver lists
// timestamptz alone: a time stamp keeps its text in the session's time
// zone), declared with 6 fraction
// digits where its CREATE_PARAMS take a scale, else keeping the MAXIMUM_SCALE
// the driver gives (MariaDB's DATETIME and TIME: none; SQLite's timestamp:
// 3). A record whose time or time stamp has more fraction digits than its
// column keeps is refused (OnProblem, RowsInError), never cut. Decimals a
// dataset holds as their text go as that text in every mode, never through a
// double. A field no
// type holds (a decimal wider than the driver's, a type without a
// counterpart) refuses the whole batch before anything is created, every
// such field named. A long value longer than the server takes is refused by
// the server, as a row in error. batCopy refuses a destination in a
// transaction (a CREATE TABLE commits it on MariaDB). When a batch with
// CommitEvery 0 stops on an error, the table it created is dropped again;
// with CommitEvery > 0 it stays with the rows committed.
//
// Columns: Mappings lines "dest=source" (a line "name" maps a column to the
// field of the same name); without lines every destination column with a
// source field of the same name (ignoring case). Keys: KeyFields
// (";"-separated destination columns), else the destination's primary key.
// Whether a record's key matches is decided from the destination's keys read
// before the first write; a key that more than one destination row holds
// refuses the whole batch before anything is written ("Key ... matches more
// than one row of ..."), so an update never changes two rows silently. A key
// the source holds more than once is written once per record, in the
// source's order: in batAppendUpdate its first record inserts the row (or
// updates a row that matched) and every later record updates that row, so
// it ends with the last record's values and no second row is inserted
// (batAppend inserts each record: a second one is refused by a unique key,
// as a record in error).
//
// Transactions: with CommitEvery N > 0 a commit after every N records read,
// with 0 one transaction around the whole batch (rolled back when the batch
// stops on an error that is not a refused row). A database already in a
// transaction keeps it: the application commits. Rows the server refuses
// are counted in RowsInError and reported to OnProblem with the record's
// number (from 1) and the driver's message; the others are written.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DataSet.h"

#include <cstdint>
#include <functional>

namespace velora {

class TODBCDatabase;

/// What a batch does with the source's records.
enum TBatchMode { batAppend, batUpdate, batAppendUpdate, batDelete, batCopy };

/// A record the destination refused: its number in the source (from 1) and
/// the driver's message.
using TBatchProblemEvent = std::function<void(TObject* Sender, std::int64_t RecordNo, const String& Message)>;
/// Records read so far.
using TBatchProgressEvent = std::function<void(TObject* Sender, std::int64_t RowsRead)>;

class TODBCBatchCopy : public TComponent {
public:
    explicit TODBCBatchCopy(TComponent* AOwner);
    ~TODBCBatchCopy() override;

    /// Runs the batch: opens the source when closed (and closes it again),
    /// reads it from its first record to its last, writes, and fills the
    /// counts.
    /// \throws EDatabaseError for a missing source, destination or table, a
    ///         mapping naming an unknown column or field, no key for a mode
    ///         that needs one, an ambiguous key, batCopy on a table no type
    ///         can hold or in a transaction; EODBCError when the driver
    ///         fails otherwise (batCopy: a table that exists already).
    void Execute();

    TDataSet* Source() const { return FSource; }
    void SetSource(TDataSet* Value);
    TODBCDatabase* Destination() const { return FDestination; }
    void SetDestination(TODBCDatabase* Value);
    const String& TableName() const { return FTableName; }
    void SetTableName(const String& Value) { FTableName = Value; }
    TBatchMode Mode() const { return FMode; }
    void SetMode(TBatchMode Value) { FMode = Value; }
    TStrings* Mappings() const { return FMappings.get(); }
    const String& KeyFields() const { return FKeyFields; }
    void SetKeyFields(const String& Value) { FKeyFields = Value; }
    /// A table on the destination that receives every record in error
    /// (empty: none), beside OnProblem: its number (batch_record_no), the
    /// error (batch_error) and, in the columns named as mapped destination
    /// columns, the values the record was to write, as text (numbers and
    /// times exact, bytes as upper-case hexadecimal digits). A table that does
    /// not exist is created with those columns (a 64-bit integer, then the
    /// driver's largest long character type), outside a transaction only; one
    /// that exists needs batch_record_no and batch_error, and its columns
    /// named as mapped columns are filled. Its rows are written in the
    /// batch's transaction; a row it refuses stops the batch
    /// (EDatabaseError), so no record in error goes unrecorded.
    const String& ProblemTable() const { return FProblemTable; }
    void SetProblemTable(const String& Value) { FProblemTable = Value; }
    int CommitEvery() const { return FCommitEvery; }
    void SetCommitEvery(int Value) { FCommitEvery = Value < 0 ? 0 : Value; }
    /// Records written a parameter-array call (default 1000).
    int ArrayChunk() const { return FArrayChunk; }
    void SetArrayChunk(int Value) { FArrayChunk = Value < 1 ? 1 : Value; }

    std::int64_t RowsRead() const { return FRowsRead; }
    std::int64_t RowsWritten() const { return FRowsWritten; }
    std::int64_t RowsSkipped() const { return FRowsSkipped; }
    std::int64_t RowsInError() const { return FRowsInError; }

    TBatchProblemEvent OnProblem;
    TBatchProgressEvent OnProgress;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TDataSet* FSource = nullptr;
    TODBCDatabase* FDestination = nullptr;
    String FTableName;
    TBatchMode FMode = batAppend;
    TOwnedPtr<TStringList> FMappings;
    String FKeyFields;
    String FProblemTable;
    int FCommitEvery = 0;
    int FArrayChunk = 1000;
    std::int64_t FRowsRead = 0, FRowsWritten = 0, FRowsSkipped = 0, FRowsInError = 0;
};

/// Registers TODBCBatchCopy and TBatchMode for form files (idempotent).
void RegisterODBCBatchCopyClasses();

}  // namespace velora
