// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBCconst: every message the components raise through DatabaseError
// and DatabaseErrorFmt, with its exact text. Messages holding %s or %d are
// format strings for DatabaseErrorFmt/Format. Some are declared for
// applications and raised by no operation of the library; they keep their
// text all the same, since applications compare against them.
#pragma once

namespace velora {

inline constexpr const char* SNoUpdateObject =
    "Cannot process the update because there is no TOBDCUpdateSQL attached to the Query";
inline constexpr const char* SNoDatabaseAssigned = "The database property of '%s' must be linked to an ODBCDataBase";
inline constexpr const char* SDatabaseOpen = "Cannot perform this operation on an open database";
inline constexpr const char* SDatabaseClosed = "Cannot perform this operation on a closed database";
inline constexpr const char* SSessionActive = "Cannot perform this operation on an active session";
inline constexpr const char* SHandleError = "Error creating cursor handle";
inline constexpr const char* SInvalidFloatField = "Cannot convert field '%s' to a floating point value";
inline constexpr const char* SInvalidIntegerField = "Cannot convert field '%s' to an integer value";
inline constexpr const char* SFieldAssignError = "Fields '%s' and '%s' are not assignment compatible";
inline constexpr const char* SFieldUndefinedType = "Field '%s' is of unknown type";
inline constexpr const char* SFieldUnsupportedType = "Field '%s' is of an unsupported type";
inline constexpr const char* SEmptySQLStatement = "No SQL statement available";
inline constexpr const char* SNoResultSet = "'%s': the SQL statement returns no result set; use ExecSQL";
inline constexpr const char* SNoParameterValue = "No value for parameter '%s'";
inline constexpr const char* SBatchForwardOnly =
    "'%s': the data source reads several statements forward-only; set UniDirectional to open them";
inline constexpr const char* SNoOutputParams =
    "The data source has no procedures: parameter '%s' cannot be bound for output";
inline constexpr const char* SOutputParamTooLong =
    "Output parameter '%s' holds a value of %s bytes, longer than its output buffer of %d bytes";
inline constexpr const char* SNoParameterType = "No parameter type for parameter '%s'";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SParamTooBig = "Parameter '%s', cannot save data larger than %d bytes";
inline constexpr const char* SLoginError = "Cannot connect to database '%s'";
inline constexpr const char* STransactionEnded = "The transaction has already ended";
inline constexpr const char* SLoginNeedsTerminal =
    "Cannot connect to database '%s': login prompt needs a terminal; set --user/--password (USER NAME and PASSWORD "
    "in Params) or LoginPrompt False";
inline constexpr const char* STruncationError = "Parameter '%s' truncated on output";
inline constexpr const char* SInvalidVersion = "Unable to load bind parameters";
inline constexpr const char* SResultName = "Result";
inline constexpr const char* SNoTableName = "Missing TableName property";
inline constexpr const char* SInvalidTableName = "Invalid table name '%s'";
inline constexpr const char* SNoFieldAccess = "Cannot access field '%s' in a filter";
inline constexpr const char* SUntitled = "Untitled Application";
inline constexpr const char* SUpdateFailed = "Update failed";
inline constexpr const char* SNoUpdateDataSet = "Update object '%s' has no dataset";
inline constexpr const char* SWriteThroughUpdateObject =
    "'%s' reads several tables and cannot write its records itself: write them through its update object "
    "(Edit or Insert, assign the fields, UpdateObject.Apply, then Cancel; to delete, Apply(ukDelete) in browse "
    "state, then Refresh)";
inline constexpr const char* SNoProvider = "No provider available";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* STextFalse = "False";
inline constexpr const char* STextTrue = "True";
inline constexpr const char* SCurUniDirectional = "Cannot scroll back with an UniDirectional DataSet";
inline constexpr const char* SDataSetMustReadOnly = "DataSet must be ReadOnly to use cached updates";

}  // namespace velora
