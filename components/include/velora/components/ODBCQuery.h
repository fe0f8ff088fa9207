// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCQuery: the dataset over the result of an SQL statement, and the means
// to run a statement without a result (ExecSQL). The SQL text may hold :name
// markers; each becomes a "?" in the text sent to the driver and one
// TODBCParam in Params, in marker order (ODBCSQLParser.h has the rules). The
// values are laid into a parameter buffer (ODBCParamBuffer.h) and bound
// before every execution.
//
// Statement life: a query holds a prepared statement and its engine cursor
// from Prepare, ExecSQL or opening until UnPrepare, a change of the SQL text,
// closing (which frees both) or destruction. While it holds one it stays on
// its database's list of datasets in use (flagPrepared), so that closing the
// database unprepares it before the connection, and with it every statement,
// goes away: nothing ever runs on, or frees, a statement the driver manager
// already freed.
//
// While the query is closed the statement and the engine cursor are the
// query's; opening hands both to the dataset, and closing the dataset frees
// them.
//
// A master dataset may drive the parameters: attach its data source through
// DataSource, and every parameter the application has not given a value
// follows the master field of the same name; the query reopens as the master
// moves.
#pragma once

#include "velora/components/ODBCDataSet.h"
#include "velora/components/ODBCParamArray.h"
#include "velora/components/ODBCParamBuffer.h"
#include "velora/components/ODBCParams.h"
#include "velora/db/DataLink.h"
#include "velora/engine/ODBCParamSets.h"
#include "velora/odbc/ODBCDefs.h"
#include "velora/odbc/SQLDialect.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velora {

class TODBCQuery;
class TODBCParamSetLayout;

/// The query's link to its master data source.
class TODBCQueryDataLink : public TDataLink {
public:
    explicit TODBCQueryDataLink(TODBCQuery* AQuery) : FQuery(AQuery) {}
    TODBCQuery* Query() const { return FQuery; }

protected:
    /// The master opened or closed: an open query refreshes its parameters.
    void ActiveChanged() override;
    /// Posts or cancels a pending edit of an open query.
    void CheckBrowseMode() override;
    /// The master moved to another record (Field nil): an open query
    /// refreshes its parameters.
    void RecordChanged(TField* Field) override;

private:
    TODBCQuery* FQuery;
};

/// The dataset over an SQL statement.
class TODBCQuery : public TODBCDataSet {
public:
    /// An empty SQL text, an empty parameter list, CachedUpdates and ReadOnly
    /// False, ParamCheck True, RowsAffected -1.
    explicit TODBCQuery(TComponent* AOwner);
    /// Closes and unprepares; never throws.
    ~TODBCQuery() override;

    // ---- the statement ------------------------------------------------------
    /// The SQL text (owned). Changing it runs QueryChanged.
    TStrings* SQL() const { return FSQL.get(); }
    /// Copies Value's lines when its text differs (closing and unpreparing
    /// first); an equal text changes nothing.
    void SetQuery(TStrings* Value);
    /// The table found after the first INTO or FROM of the text: the table
    /// the editing operations modify.
    const String& QueryTableName() const { return FQueryTableName; }
    /// Prepares the statement (the query stays prepared until UnPrepare). A
    /// transaction statement is not prepared (Prepared stays False): ExecSQL
    /// hands it to the database.
    /// \throws EDatabaseError "No SQL statement available" for an empty
    ///         text; EODBCError when the driver refuses it (no statement is
    ///         then held).
    void Prepare();
    /// Releases the statement (closing an open query first).
    void UnPrepare();
    bool Prepared() const { return FPrepared; }
    void SetPrepared(bool Value);
    /// Prepares when needed, binds the parameters and executes. The query
    /// must be closed and stays prepared. A result the statement produces is
    /// not read. Notices the driver returned with success are kept in
    /// ExecWarnings. A transaction statement (BEGIN, COMMIT, ROLLBACK,
    /// SAVEPOINT, ... without parameters) is not prepared: it goes to the
    /// database's RunTransactionStatement, so InTransaction follows it.
    /// \throws EDatabaseError for an open query ("Cannot perform this
    ///         operation on an open dataset"), an empty text, a parameter
    ///         without value or out of range; EODBCError from the driver.
    void ExecSQL();
    /// While prepared, the driver's count of rows the last execution
    /// affected (-1 when it has none; after parameter arrays their total,
    /// see ArrayResult); afterwards the count saved when the
    /// statement was released (-1 unless no cursor was made since
    /// preparation).
    std::int32_t RowsAffected() { return GetRowsAffected(); }
    std::int32_t GetRowsAffected();
    /// The number of result columns the prepared statement describes: 0 for
    /// a statement without a result (INSERT, UPDATE, DELETE, DDL) and before
    /// preparation.
    int ResultColumnCount() const;
    /// The warnings (server notices) of the last ExecSQL; a cursor attribute
    /// the driver substituted (01S02) is not among them.
    const std::vector<odbc::DiagRecord>& ExecWarnings() const { return FExecWarnings; }
    /// Closes the query, then unprepares it (the database's Close calls it).
    void Disconnect() override;

    // ---- several results and output parameters -------------------------------------------------
    /// Moves an open query to the next result set of its statement (several
    /// statements in one text, or a procedure that returns several): the
    /// current result is closed and the next one opened with its own fields.
    /// Results without columns on the way (the counts of UPDATE, INSERT, a
    /// procedure's own status) are passed and their counts appended to
    /// RowsAffectedCounts. A later result is read-only: its rows are not rows
    /// of the table the text names first. When no result set is left the
    /// answer is False, the query is closed and its statement released, and
    /// the output parameters hold the values the statement gave them;
    /// RowsAffected is then the last count (-1 when there was none).
    /// \throws EDatabaseError on a closed query; EODBCError from the driver
    ///         (the query is then closed).
    bool NextResultSet();
    /// The row counts of the results without columns the last execution has
    /// passed so far, in order: the first result's when it has no columns,
    /// then those NextResultSet (or ExecSQL of several statements or of a
    /// statement with output parameters, which passes every result) walked
    /// past. Cleared at every execution.
    const std::vector<std::int32_t>& RowsAffectedCounts() const { return FRowCounts; }
    /// Open that answers False instead of raising when the statement ran and
    /// gave no result set at all (a procedure call, several statements without
    /// results): the query is then closed, and RowsAffectedCounts and the
    /// output parameters hold what the statement gave.
    /// \throws as Open.
    bool OpenResult();
    /// A procedure call (CALL, EXEC, EXECUTE, the escape {...}) or several
    /// statements: text whose results the driver describes only when it runs.
    bool DescribesOnlyWhenRun() const { return IsProcedureCall() || IsBatch(); }

    // ---- parameters -------------------------------------------------------------
    TODBCParams* Params() const { return FParams.get(); }
    /// Copies the values of Value's parameters by name; the list is kept.
    void SetParamsList(TODBCParams* Value);
    /// \throws EDatabaseError "Parameter '%s' not found".
    TODBCParam* ParamByName(const String& Value) const { return FParams->ParamByName(Value); }
    int GetParamsCount() const { return FParams->Count(); }
    int ParamCount() const { return GetParamsCount(); }
    /// Rebuild Params from the SQL text when it changes (default True).
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool Value) { FParamCheck = Value; }
    /// Parses Text by the marker rules, rewrites it in place for the driver,
    /// sets QueryTableName and, when List is given, appends one parameter
    /// per marker.
    void CreateParams(TODBCParams* List, String& Text);
    /// The dialect markers are read in: the connected database's, else the
    /// standard one (a text read before connecting is read again when the
    /// query is prepared).
    TSQLDialect ScanDialect() const;
    /// The values of the last binding in their buffer form (nil before the
    /// first), ParamBufferSize bytes with the NULL word last.
    const std::byte* ParamBuffer() const { return FParamBuffer.Data(); }
    int ParamBufferSize() const { return FParamBuffer.Size(); }

    // ---- parameter arrays ---------------------------------------------------------
    // With ArraySize N > 0, ExecSQL runs the prepared statement once for each
    // of N parameter sets, whose values are in ArrayValues(i) (the values in
    // Params are then not used, only their names and DataTypes). The sets go
    // to the driver as arrays of ArrayChunk sets a call where it takes them
    // (all three test drivers do), else, or with ArrayOneByOne, one by one on
    // the same statement: the outcome is the same. Long values (ftMemo,
    // ftBlob) go in arrays too, each run's values at the width of its longest
    // (ArrayChunk times that many bytes a parameter); on SQLite, whose driver
    // takes the lengths of binary values in an array wrongly, sets with a
    // binary parameter (ftBlob, ftBytes, ...) run one by one. Sets run in order; a set
    // the server refuses does not stop the others: after the run ExecSQL
    // raises EODBCParamSetError naming the first failed set (indexes from 0)
    // and listing every failed one in FailedSets. The sets that did not fail
    // are written (under autocommit, each call's at once); inside the
    // application's transaction, Rollback undoes them all.

    /// Number of parameter sets (0: ExecSQL runs one set, from Params).
    std::int64_t ArraySize() const { return FArraySize; }
    /// Sizes every parameter's value array (new sets unset: ExecSQL refuses
    /// a set left without value).
    void SetArraySize(std::int64_t Value);
    /// The values of parameter Index across the sets (repeated names share the
    /// first one's array, as they share its value).
    /// 	hrows EListError for an index out of range.
    TODBCParamArray* ArrayValues(int Index);
    /// 	hrows EDatabaseError "Parameter '%s' not found".
    TODBCParamArray* ArrayValuesByName(const String& Name);
    /// Sets a driver call (default 1000).
    int ArrayChunk() const { return FArrayChunk; }
    void SetArrayChunk(int Value) { FArrayChunk = Value < 1 ? 1 : Value; }
    /// Run the sets one by one even where the driver takes arrays: every set's
    /// row count is then known on every driver.
    bool ArrayOneByOne() const { return FArrayOneByOne; }
    void SetArrayOneByOne(bool Value) { FArrayOneByOne = Value; }
    /// What the last array execution did: the total of rows affected (-1 when
    /// a driver did not tell), rows a set affected (-1 where the driver tells
    /// only the total of an array call: SQLite's and MariaDB's drivers), the
    /// failed sets, whether arrays went to the driver.
    const TODBCParamSetResult& ArrayResult() const { return FArrayResult; }

    // ---- master ------------------------------------------------------------------
    /// The master data source (nil: none).
    TDataSource* DataSource() const { return FDataLink->DataSource(); }
    /// \throws EDatabaseError "Circular datalinks are not allowed" when the
    ///         source's dataset is this query or is driven by it.
    void SetDataSource(TDataSource* Value);
    TDataSource* GetDataSource() override { return FDataLink->DataSource(); }
    /// Gives every parameter without a value of its own (Bound False) the
    /// value of the master's field of the same name, keeping it unbound.
    /// \throws the framework's "Field '%s' not found" for a name the master
    ///         has no field of.
    void SetParamsFromCursor();
    /// Reopens the query when the master is open (controls held back).
    void RefreshParams();

    // ---- flags ----------------------------------------------------------------
    bool ReadOnly() const { return FReadOnly; }
    /// \throws EDatabaseError for an open query.
    void SetReadOnly(bool Value);
    bool KeyRangeCursor() const { return FKeyRangeCursor; }
    /// A SELECT of one table with a primary key scrolls through the table by
    /// ranges of its order and key, a few blocks at a time, as a table with
    /// KeyRangeCursor does (no parameters, grouping or limits). Other
    /// statements (and UniDirectional queries) run as without it.
    /// \throws EDatabaseError for an open query.
    void SetKeyRangeCursor(bool Value);
    bool CachedUpdates() const { return FCachedUpdates; }
    /// Stores the flag only on a closed ReadOnly query.
    /// \throws EDatabaseError "DataSet must be ReadOnly to use cached
    ///         updates" when not ReadOnly; "Cannot perform this operation on
    ///         an open dataset" when open.
    void SetCachedUpdates(bool Value);

    // ---- form files --------------------------------------------------------------
    /// The binary property Data, written when SQLBinary holds data.
    void DefineProperties(TFiler& Filer) override;
    /// Opaque bytes carried from form file to form file (nothing reads them);
    /// discarded when the SQL text changes outside loading.
    const std::optional<String>& SQLBinary() const { return FSQLBinary; }
    void SetSQLBinary(std::optional<String> Value) { FSQLBinary = std::move(Value); }

protected:
    /// The inherited answer, for a query that is not ReadOnly and whose
    /// result columns come from one table. With an update object, a query
    /// that is not ReadOnly may always enter edit and insert states: its
    /// records are then written through the update object.
    bool GetCanModify() override;
    /// Post and Delete of a query that cannot write through its cursor (it
    /// reads several tables, or its cursor is read-only) raise, naming the
    /// update-object pattern; the record stays in its state.
    void InternalPost() override;
    void InternalDelete() override;
    /// Opens the dataset, then notes whether the result reads one table.
    void InternalOpen() override;
    /// Prepares when needed, takes the master's values, binds, and hands the
    /// statement and its engine cursor to the dataset, which executes it.
    odbc::HStmt CreateHandle() override;
    /// Frees the statement and the engine cursor (closing); the query is then
    /// no longer prepared.
    void DestroyHandle() override;
    /// The change event of SQL.
    void QueryChanged(TObject* Sender);
    /// Passes results without columns (keeping their counts) until one has
    /// columns; at the end reads the output parameters and answers false.
    bool SeekResultSet(odbc::HStmt Stmt) override;

private:
    /// Whether Post and Delete can write through the dataset's cursor.
    bool WritesThroughCursor() { return TODBCDataSet::GetCanModify() && !FReadOnly && FOneTable; }
    friend class TODBCQueryDataLink;
    friend void RegisterODBCQueryClasses();

    odbc::HStmt CreateCursor(bool GenHandle);
    odbc::HStmt GetQueryCursor(bool GenHandle);
    /// A transaction statement without parameters (see ExecSQL).
    bool IsTransactionStatement() const;
    /// CALL, EXEC, EXECUTE or the ODBC escape {...}: text whose result the
    /// driver cannot describe before it runs.
    bool IsProcedureCall() const;
    /// More than one statement in the text (a ';' outside literals, quoted
    /// names and comments with text after it).
    bool IsBatch() const;
    /// Whether a parameter is bound for output, input-output or result.
    bool HasOutputParams() const;
    /// Appends the count of the current result when it has no columns;
    /// answers the number of its columns.
    int NoteResult(odbc::HStmt Stmt);
    /// SQLMoreResults: true when another result follows.
    /// \throws EODBCError
    bool MoreResults(odbc::HStmt Stmt);
    /// Gives every output, input-output and result parameter the value the
    /// driver left in its buffer.
    /// \throws EDatabaseError for a value longer than its buffer.
    void ReadOutputParams(odbc::HStmt Stmt);
    /// ExecSQL of several statements or with output parameters: every
    /// result is passed, its count kept, then the outputs read.
    void PassAllResults(odbc::HStmt Stmt);
    void PrepareSQL(const String& Text) { GetStatementHandle(Text); }
    void GetStatementHandle(const String& Text);
    void RescanForDialect();
    void ReadReturnSelect(odbc::HStmt Stmt);
    void FreeStatement() noexcept;
    void SetParams();
    /// ExecSQL with ArraySize > 0.
    void ExecArray();
    /// The engine cursor of the statement, wherever it is kept.
    TODBC* QueryEngine() const { return FEngine ? FEngine.get() : Engine(); }
    /// The prepared statement, wherever it is kept (nil when none).
    odbc::HStmt QueryStmt() const { return FStmt ? FStmt.get() : StmtHandle(); }
    void ReadBinaryData(TStream& Stream);
    void WriteBinaryData(TStream& Stream) const;

    bool FSaveRowsAffected = false;
    bool FCachedUpdates = false;
    std::unique_ptr<TODBCQueryDataLink> FDataLink;
    bool FParamCheck = true;
    TOwnedPtr<TODBCParams> FParams;
    bool FPrepared = false;
    bool FReadOnly = false;
    bool FKeyRangeCursor = false;
    std::uint8_t FEngineCursorMode = 0;  ///< the road the engine takes for the prepared statement
    bool FOneTable = true;
    std::int32_t FRowsAffected = -1;
    TOwnedPtr<TStringList> FSQL;
    std::optional<String> FSQLBinary;
    String FQueryTableName;
    /// The dialect the text's markers were read in; none when the text goes
    /// to the driver as written (ParamCheck False).
    std::optional<TSQLDialect> FScanDialect;
    String FWriteTableName;  ///< the table records are written to (SelectTableName)
    TODBCParamBuffer FParamBuffer;
    /// The prepared statement while the query is closed; opening hands it to
    /// the dataset, which owns it until it closes.
    TODBCStmtOwner FStmt;
    /// The engine cursor while the query keeps it (closed and prepared).
    std::unique_ptr<TODBC> FEngine;
    std::vector<odbc::DiagRecord> FExecWarnings;
    std::int64_t FArraySize = 0;
    std::vector<std::unique_ptr<TODBCParamArray>> FArrays;  ///< by parameter entry
    int FArrayChunk = 1000;
    bool FArrayOneByOne = false;
    bool FArrayRan = false;  ///< the last ExecSQL ran parameter arrays (RowsAffected is their total)
    TODBCParamSetResult FArrayResult;
    std::unique_ptr<TODBCParamSetLayout> FLayout;
    std::vector<std::int32_t> FRowCounts;
    bool FResultsPassed = false;  ///< every result was passed: RowsAffected is the last count
    bool FKeepStatement = false;  ///< closing for NextResultSet: the statement stays with the query
    bool FLaterResult = false;    ///< open on a result after the first: read-only
    bool FRanWithoutResult = false;  ///< Open ran the statement, which gave no result set
    /// A return-value escape run as "SELECT f(...)" (MariaDB): its value goes
    /// to the first parameter.
    bool FReturnSelect = false;
};

/// Registers TODBCQuery for form files (idempotent; also done at start-up).
void RegisterODBCQueryClasses();

}  // namespace velora
