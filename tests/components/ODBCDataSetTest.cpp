// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSet on the real drivers (through TODBCTable, its one descendant
// with a statement here): the database binding, the record buffer and its
// BLOB cache, uni-directional reading, what may be modified, refresh,
// bookmarks, calculated and lookup fields, Locate and the notifications the
// data links receive. The field definitions made from column descriptions
// and the packed-decimal conversions are checked on descriptors directly.
#include "components/DataSetTestUtil.h"

#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::ErrorOf;
using test::IdsToEnd;
namespace faults = odbc::faults;

/// Exposes the protected parts the tests look at.
class TProbeDataSet : public TODBCDataSet {
public:
    using TODBCDataSet::AddFieldDesc;
    using TODBCDataSet::TODBCDataSet;
};

TODBCFldDesc Desc(const char* name, std::uint16_t type, std::uint16_t units1 = 0, std::int16_t units2 = 0,
                  std::uint16_t subType = 0) {
    TODBCFldDesc d;
    d.SetName(name);
    d.FldType = type;
    d.Units1 = units1;
    d.Units2 = units2;
    d.SubType = subType;
    return d;
}

// ---------------------------------------------------------------------------
// Without a data source
// ---------------------------------------------------------------------------

TEST(ODBCDataSetProperties, RowSetSizeKeepsItsRangeAndNewDataSetsStartClosed) {
    TOwnedPtr<TODBCDataSet> ds(new TODBCDataSet(nullptr));
    EXPECT_EQ(ds->RowSetSize(), 20);
    for (int rejected : {0, -5, 201}) {
        ds->SetRowSetSize(rejected);
        EXPECT_EQ(ds->RowSetSize(), 20) << rejected;
    }
    ds->SetRowSetSize(200);
    EXPECT_EQ(ds->RowSetSize(), 200);
    ds->SetRowSetSize(1);
    EXPECT_EQ(ds->RowSetSize(), 1);
    EXPECT_FALSE(ds->UniDirectional());
    EXPECT_TRUE(ds->CacheBlobs());
    EXPECT_FALSE(ds->IsSequenced());
    EXPECT_EQ(ds->StmtHandle(), nullptr);
    EXPECT_EQ(ds->Engine(), nullptr);
    EXPECT_FALSE(ds->CanModify());
    EXPECT_EQ(ds->GetDataBase(), nullptr);
    EXPECT_EQ(ds->GetDBHandle(), nullptr);
    EXPECT_EQ(ds->GetDBSession(), Session);
}

TEST(ODBCDataSetProperties, OpeningWithoutDatabaseNamesTheDataSet) {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* ds = new TODBCTable(owner.get());
    ds->SetName("Orders1");
    ds->SetTableName("orders");
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "The database property of 'Orders1' must be linked to an ODBCDataBase");
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ErrorOf([&] { ds->InitFieldDefs(); }),
              "The database property of 'Orders1' must be linked to an ODBCDataBase");
}

TEST(ODBCDataSetBuffers, LayoutOfTheExample) {
    // Two BLOB fields, 10 bytes of calculated fields, an engine record of
    // 100 bytes and its bookmark size of 114.
    TODBCBufferLayout layout = TODBCDataSet::ComputeBufferLayout(100, 10, 2, 114);
    EXPECT_EQ(layout.BlobCacheOffset, 110);
    EXPECT_EQ(layout.RecInfoOffset, 118);
    EXPECT_EQ(layout.BookmarkOffset, 118 + 6);
    EXPECT_EQ(layout.LoanOffset, 118 + 6 + 114);
    EXPECT_EQ(layout.RecordBufferSize, 118 + 6 + 114 + 8);
}

TEST(ODBCDataSetProperties, TranslateCountsWithoutConverting) {
    TOwnedPtr<TODBCDataSet> ds(new TODBCDataSet(nullptr));
    char text[] =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
    EXPECT_EQ(ds->Translate(text, text, true), 7);
    EXPECT_STREQ(text,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e");
    char dest[16];
    std::memset(dest, 'x', sizeof dest);
    EXPECT_EQ(ds->Translate("abc", dest, false), 3);
    EXPECT_STREQ(dest, "abc");
}

TEST(ODBCDataSetFieldDefs, DuplicateNamesGetNumberedAndUnmappedColumnsLeaveGaps) {
    TOwnedPtr<TProbeDataSet> ds(new TProbeDataSet(nullptr));
    ds->AddFieldDesc(Desc("ID", fcInt32), false, 1);
    ds->AddFieldDesc(Desc("NOTE", fcString, 0), false, 2);  // a string of length 0: no field
    ds->AddFieldDesc(Desc("ID", fcInt32), false, 3);
    ds->AddFieldDesc(Desc("ID", fcFloat), true, 4);
    ds->AddFieldDesc(Desc("BIG", fcUnknown), false, 5);
    ds->AddFieldDesc(Desc("C14", 14), false, 6);
    ds->AddFieldDesc(Desc("CUR", fcCursor), false, 7);
    ds->AddFieldDesc(Desc("BEYOND", kLastFldType + 1), false, 8);
    TFieldDefs& defs = *ds->FieldDefs();
    ASSERT_EQ(defs.Count(), 3);
    EXPECT_EQ(defs[0]->Name(), "ID");
    EXPECT_EQ(defs[1]->Name(), "ID_1");
    EXPECT_EQ(defs[1]->FieldNo(), 3);
    EXPECT_EQ(defs[2]->Name(), "ID_2");
    EXPECT_EQ(defs[2]->FieldNo(), 4);
    EXPECT_EQ(defs[2]->DataType(), ftFloat);
    EXPECT_TRUE(defs[2]->Required());

    defs.Clear();
    ds->AddFieldDesc(Desc("S", fcString, 0), false, 1);
    ds->AddFieldDesc(Desc("N", fcInt32), false, 2);
    ASSERT_EQ(defs.Count(), 1);
    EXPECT_EQ(defs[0]->FieldNo(), 2);
}

TEST(ODBCDataSetFieldDefs, TypesSizesAndPrecisionFollowTheDescriptor) {
    TOwnedPtr<TProbeDataSet> ds(new TProbeDataSet(nullptr));
    ds->AddFieldDesc(Desc("B1", fcBCD, 10, 2), false, 1);
    ds->AddFieldDesc(Desc("B2", fcBCD, 10, -2), false, 2);
    ds->AddFieldDesc(Desc("M", fcBlob, 8190, 0, fscMemo), false, 3);
    ds->AddFieldDesc(Desc("X0", fcBlob, 0, 0, 0), false, 4);
    ds->AddFieldDesc(Desc("X29", fcBlob, 0, 0, fscAutoInc), false, 5);
    ds->AddFieldDesc(Desc("G", fcBlob, 0, 0, fscGraphic), false, 6);
    ds->AddFieldDesc(Desc("A", fcInt32, 10, 0, fscAutoInc), false, 7);
    ds->AddFieldDesc(Desc("MONEY", fcFloat, 15, 0, fscMoney), false, 8);
    ds->AddFieldDesc(Desc("S", fcString, 30), false, 9);
    ds->AddFieldDesc(Desc("VB", fcVarBytes, 16), false, 10);
    ds->AddFieldDesc(Desc("TS", fcTimeStamp, 19), false, 11);
    TFieldDefs& defs = *ds->FieldDefs();
    ASSERT_EQ(defs.Count(), 11);
    EXPECT_EQ(defs[0]->DataType(), ftBCD);
    EXPECT_EQ(defs[0]->Size(), 2);
    EXPECT_EQ(defs[0]->Precision(), 10);
    EXPECT_EQ(defs[1]->Size(), 2);
    EXPECT_EQ(defs[2]->DataType(), ftMemo);
    EXPECT_EQ(defs[2]->Size(), 8190);
    EXPECT_EQ(defs[3]->DataType(), ftBlob);
    EXPECT_EQ(defs[4]->DataType(), ftBlob);
    EXPECT_EQ(defs[5]->DataType(), ftGraphic);
    EXPECT_EQ(defs[6]->DataType(), ftInteger) << "an auto-increment sub-type is not looked at";
    EXPECT_EQ(defs[7]->DataType(), ftFloat) << "a money sub-type is not looked at";
    EXPECT_EQ(defs[8]->DataType(), ftString);
    EXPECT_EQ(defs[8]->Size(), 30);
    EXPECT_EQ(defs[9]->DataType(), ftVarBytes);
    EXPECT_EQ(defs[9]->Size(), 16);
    EXPECT_EQ(defs[10]->DataType(), ftDateTime);
    EXPECT_EQ(defs[10]->Size(), 0);
    for (int i = 0; i < defs.Count(); ++i) EXPECT_FALSE(defs[i]->InternalCalcField());
}

TEST(ODBCDataSetFieldDefs, PackedDecimalsConvertWithPrecision32) {
    TOwnedPtr<TODBCDataSet> ds(new TODBCDataSet(nullptr));
    std::uint8_t bcd[34] = {3, 0x02, 0x12, 0x30};
    Currency c;
    ASSERT_TRUE(ds->BCDToCurr(bcd, c));
    EXPECT_EQ(c.Units(), 12300);
    bcd[1] |= 0x80;
    ASSERT_TRUE(ds->BCDToCurr(bcd, c));
    EXPECT_EQ(c.Units(), -12300);
    bcd[0] = 0;
    Currency untouched = Currency::FromUnits(77);
    EXPECT_FALSE(ds->BCDToCurr(bcd, untouched));
    EXPECT_EQ(untouched.Units(), 77);

    std::uint8_t out[34] = {};
    ASSERT_TRUE(ds->CurrToBCD(Currency::FromUnits(-15000), out, 4, 2)) << "the caller's precision is not used";
    EXPECT_EQ(out[0], 32);
    EXPECT_EQ(out[1], 0x82);
    // 32 digits ...0150: the last two bytes hold 01 50.
    EXPECT_EQ(out[2 + 14], 0x01);
    EXPECT_EQ(out[2 + 15], 0x50);
    ASSERT_TRUE(ds->CurrToBCD(Currency::FromUnits(1234567), out, 32, 2));
    // ...012346: the last three bytes hold 01 23 46.
    EXPECT_EQ(out[2 + 13], 0x01);
    EXPECT_EQ(out[2 + 14], 0x23);
    EXPECT_EQ(out[2 + 15], 0x46) << "123.4567 rounds to 123.46";
}

TEST(ODBCDataSetBookmarks, OnlyTheEnginesFourBytesCount) {
    TOwnedPtr<TODBCDataSet> ds(new TODBCDataSet(nullptr));
    TBookmark a(20, 0), b(20, 0xEE);
    std::int32_t row = 7;
    std::memcpy(a.data(), &row, 4);
    std::memcpy(b.data(), &row, 4);
    EXPECT_EQ(ds->CompareBookmarks(a, b), 0) << "bytes the engine does not write do not decide";
    row = 300;
    std::memcpy(b.data(), &row, 4);
    EXPECT_EQ(ds->CompareBookmarks(a, b), -1) << "row numbers compare as numbers, not bytes";
    EXPECT_EQ(ds->CompareBookmarks(b, a), 1);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, a), -1);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, TBookmark{}), 0);
    EXPECT_FALSE(ds->BookmarkValid(a)) << "closed";
}

// ---------------------------------------------------------------------------
// On the drivers
// ---------------------------------------------------------------------------

using ODBCDataSet = DataSetDriverTest;

TEST_P(ODBCDataSet, PlainDataSetHasNoCursorHandleAndLeavesTheDatabaseAsItWas) {
    auto* ds = new TODBCDataSet(FOwner.get());
    ds->SetDataBase(FDb);
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Error creating cursor handle");
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->DBFlagSet(), 0);
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    EXPECT_TRUE(FDb->Connected()) << "the database was opened and stays so";
}

TEST_P(ODBCDataSet, DatabaseWithoutDataSourceNameRaisesInsteadOfOpeningEmpty) {
    auto* db = new TODBCDatabase(FOwner.get());
    auto* t = new TODBCTable(FOwner.get());
    t->SetDataBase(db);
    t->SetTableName(CreateNumbered(3));
    EXPECT_EQ(ErrorOf([&] { t->Open(); }), "Cannot connect to database ''");
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(t->DBFlagSet(), 0);
    EXPECT_EQ(db->GetDataSetCount(), 0);
}

TEST_P(ODBCDataSet, DataSetsRegisterWhileInUseAndTheDatabaseStaysConnected) {
    const std::string name = CreateNumbered(3);
    TODBCTable* a = NewTable(name);
    TODBCTable* b = NewTable(name);
    a->Open();
    EXPECT_TRUE(FDb->Connected()) << "the first dataset opens its database";
    b->Open();
    EXPECT_EQ(FDb->GetDataSetCount(), 2);
    EXPECT_EQ(a->DBFlagSet(), 1 << flagCursorOpen);
    EXPECT_EQ(ErrorOf([&] { a->SetDataBase(nullptr); }), "Cannot perform this operation on an open dataset");
    EXPECT_EQ(ErrorOf([&] { a->SetUniDirectional(true); }), "Cannot perform this operation on an open dataset");
    a->Close();
    EXPECT_EQ(FDb->GetDataSetCount(), 1);
    b->Close();
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    EXPECT_TRUE(FDb->Connected()) << "closing the last dataset leaves the database connected";
    EXPECT_EQ(a->StmtHandle(), nullptr);
    EXPECT_FALSE(a->CanModify());

    // Closing the database closes the datasets using it.
    a->Open();
    b->Open();
    FDb->Close();
    EXPECT_FALSE(a->Active());
    EXPECT_FALSE(b->Active());
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    a->Open();
    EXPECT_TRUE(FDb->Connected()) << "and a dataset opens it again";
}

TEST_P(ODBCDataSet, DestroyingTheDatabaseClosesAndUnlinksTheDataSetsOfItsOwner) {
    TODBCTable* t = NewTable(CreateNumbered(2));
    t->Open();
    FDb->Free();
    FDb = nullptr;
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(t->GetDataBase(), nullptr);
    EXPECT_EQ(t->DBFlagSet(), 0);
    EXPECT_EQ(ErrorOf([&] { t->Open(); }), "The database property of '' must be linked to an ODBCDataBase");
}

TEST_P(ODBCDataSet, RecordBufferHoldsTheEngineRowCalculatedFieldsBlobCacheAndBookmark) {
    const std::string name = CreateTable(std::string("id integer primary key, name varchar(10), m1 ") +
                                         test::MemoType(Drv()) + ", m2 " + test::MemoType(Drv()));
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 'a', 'first memo', NULL)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (2, 'b', NULL, NULL)");
    TODBCTable* table = NewTable(name);
    table->FieldDefs()->Update();
    for (int i = 0; i < table->FieldDefs()->Count(); ++i) table->FieldDefs()->Items(i)->CreateField(table);
    auto* calc = new TIntegerField(table);
    calc->SetFieldName("twice");
    calc->SetFieldKind(fkCalculated);
    calc->SetDataSet(table);
    table->OnCalcFields = [](TDataSet* d) {
        d->FieldByName("twice")->SetAsInteger(2 * d->FieldByName("id")->AsInteger());
    };
    table->Open();

    EXPECT_EQ(table->BlobFieldCount(), 2);
    EXPECT_EQ(table->CalcFieldsSize(), 4 + 1);
    EXPECT_EQ(table->BookmarkSize(), table->EngineRecordSize() + 14);
    EXPECT_EQ(table->BlobCacheOffset(), table->EngineRecordSize() + table->CalcFieldsSize());
    EXPECT_EQ(table->RecInfoOffset(), table->BlobCacheOffset() + 8);
    EXPECT_EQ(table->BookmarkOffset(), table->RecInfoOffset() + 6);
    EXPECT_EQ(table->LoanOffset(), table->BookmarkOffset() + table->BookmarkSize());
    EXPECT_EQ(table->RecordBufferSize(), table->LoanOffset() + 8);
    EXPECT_EQ(table->FieldByName("twice")->AsInteger(), 2);
    EXPECT_EQ(table->RecNo(), -1);
    EXPECT_EQ(table->FieldByName("m1")->DataType(), ftMemo);
    EXPECT_FALSE(table->FieldByName("m1")->IsNull());
    EXPECT_TRUE(table->FieldByName("m2")->IsNull());

    // Cached BLOB values fill their 4-byte slots without touching the record
    // information or the bookmark behind them.
    const TBookmark before = table->GetBookmark();
    TRecordBuffer active = table->ActiveBuffer();
    TField* m1 = table->FieldByName("m1");
    TField* m2 = table->FieldByName("m2");
    const String big(5000, 'z');
    table->SetBlobData(m1, active, "cached one");
    table->SetBlobData(m2, active, big);
    EXPECT_EQ(table->GetBlobData(m1, active), "cached one");
    EXPECT_EQ(table->GetBlobData(m2, active), big);
    EXPECT_EQ(table->GetBookmark(), before);
    EXPECT_EQ(table->RecNo(), -1);
    EXPECT_EQ(table->FieldByName("id")->AsInteger(), 1);
    std::vector<std::uint8_t> other(static_cast<std::size_t>(table->RecordBufferSize()), 0);
    table->SetBlobData(m1, other.data(), "not the active buffer");
    EXPECT_EQ(table->GetBlobData(m1, other.data()), "") << "only the active buffer caches";
    table->Next();
    EXPECT_EQ(table->GetBlobData(m1, table->ActiveBuffer()), "") << "a fetched record starts with an empty cache";
    EXPECT_TRUE(table->FieldByName("m1")->IsNull());
    EXPECT_EQ(table->FieldByName("twice")->AsInteger(), 4);
}

TEST_P(ODBCDataSet, NewRecordShowsNoOtherRowsLongValues) {
    const std::string name = CreateTable(std::string("id integer primary key, note ") + test::MemoType(Drv()));
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 'the memo of row one')");
    TODBCTable* t = NewTable(name);
    t->Open();
    ASSERT_FALSE(t->FieldByName("note")->IsNull());
    ASSERT_TRUE(t->CanModify());
    t->Append();
    EXPECT_TRUE(t->FieldByName("note")->IsNull()) << "the new record carries no bookmark of another row";
    EXPECT_TRUE(t->FieldByName("id")->IsNull());
    EXPECT_TRUE(t->GetBookmark().empty());
    t->Cancel();
    t->Insert();
    EXPECT_TRUE(t->FieldByName("note")->IsNull());
    t->Cancel();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 1);
    EXPECT_FALSE(t->FieldByName("note")->IsNull());
}

TEST_P(ODBCDataSet, UniDirectionalReadsForwardOnceAndRefusesToGoBack) {
    const std::string name = CreateNumbered(45);
    std::vector<std::string> model = Column("SELECT id FROM " + name);
    TODBCTable* t = NewTable(name);
    t->SetUniDirectional(true);
    t->Open();
    for (int i = 0; i < 5; ++i) t->Next();
    EXPECT_EQ(t->RecordCount(), -1) << "a forward-only cursor cannot count without consuming rows";
    const String scroll = "Cannot scroll back with an UniDirectional DataSet";
    EXPECT_EQ(ErrorOf([&] { t->Prior(); }), scroll);
    const TBookmark mark = t->GetBookmark();
    ASSERT_FALSE(mark.empty());
    t->Next();
    EXPECT_EQ(ErrorOf([&] { t->GotoBookmark(mark); }), scroll);
    std::vector<std::string> rest = IdsToEnd(*t);
    std::vector<std::string> expected(model.begin() + 6, model.end());
    EXPECT_EQ(rest, expected) << "counting consumed no rows";
    EXPECT_EQ(t->RecordCount(), 45);
    EXPECT_EQ(ErrorOf([&] { t->Refresh(); }), scroll) << "a refresh reads the current record again";
    EXPECT_EQ(t->FieldByName("id")->AsString(), model.back()) << "and is refused before the rows change";
    EXPECT_EQ(ErrorOf([&] { t->First(); }), scroll);

    t->Close();
    t->Open();
    t->Last();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->FieldByName("id")->AsString(), model.back()) << "Last reads forward to the last row";
    EXPECT_EQ(t->RecordCount(), 45);
    EXPECT_EQ(ErrorOf([&] { t->Prior(); }), scroll);

    // A block that ends exactly at the last row.
    t->Close();
    t->SetRowSetSize(15);
    t->Open();
    t->Last();
    EXPECT_EQ(t->FieldByName("id")->AsString(), model.back());

    // An empty result opens: nothing before the first row is no scrolling back.
    t->Close();
    t->FilterParams()->SetText("id < 0");
    t->SetFiltered(true);
    t->Open();
    EXPECT_TRUE(t->IsEmpty());
    EXPECT_TRUE(t->Eof() && t->Bof());
    t->Next();
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(ErrorOf([&] { t->Prior(); }), "(no error)") << "an empty dataset has no record to leave";
}

TEST_P(ODBCDataSet, RefreshRereadsTheRowsKeepingTheFieldObjects) {
    const std::string name = CreateNumbered(5);
    TODBCTable* t = NewTable(name);
    // In key order: PostgreSQL moves an updated row to the end of the table.
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    TField* nameField = t->FieldByName("name");
    TField* idField = t->FieldByName("id");
    t->MoveBy(3);
    FRaw->Exec("UPDATE " + name + " SET name = 'changed' WHERE id = 1");
    FRaw->Exec("INSERT INTO " + name + " VALUES (6, 'row 6', 9)");
    t->Refresh();
    EXPECT_EQ(t->FieldByName("name"), nameField) << "field objects survive a refresh";
    EXPECT_EQ(idField->AsInteger(), 1) << "a refresh returns to the first record";
    EXPECT_EQ(nameField->AsString(), "changed");
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name + " ORDER BY id"));
    EXPECT_EQ(t->RecordCount(), 6);
}

TEST_P(ODBCDataSet, BookmarksReturnToTheirRows) {
    const std::string name = CreateNumbered(50);
    TODBCTable* t = NewTable(name);
    t->SetRowSetSize(7);
    t->Open();
    t->MoveBy(12);
    const TBookmark at12 = t->GetBookmark();
    const int id12 = t->FieldByName("id")->AsInteger();
    t->MoveBy(30);
    const TBookmark at42 = t->GetBookmark();
    EXPECT_EQ(t->CompareBookmarks(at12, at42), -1);
    EXPECT_TRUE(t->BookmarkValid(at12));
    t->GotoBookmark(at12);
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), id12);
    EXPECT_FALSE(t->Bof());
    EXPECT_FALSE(t->Eof());
    t->Last();
    TBookmark past = at42;
    std::int32_t row = 50;
    std::memcpy(past.data(), &row, 4);
    EXPECT_FALSE(t->BookmarkValid(past)) << "beyond the known row count";
    EXPECT_EQ(ErrorOf([&] { t->GotoBookmark(past); }), "Record not found");
}

TEST_P(ODBCDataSet, FetchAllReadsToTheEndAndStaysOnTheRecord) {
    TODBCTable* t = NewTable(CreateNumbered(33));
    t->SetRowSetSize(5);
    t->Open();
    t->MoveBy(2);
    const String id = t->FieldByName("id")->AsString();
    t->FetchAll();
    EXPECT_EQ(t->FieldByName("id")->AsString(), id);
    EXPECT_EQ(t->Engine()->RowCount, 33);
    t->Next();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), std::stoi(id) + 1);
}

TEST_P(ODBCDataSet, CalculatedAndLookupFieldsFollowTheRecord) {
    const std::string customers = CreateTable("id integer primary key, name varchar(20)");
    FRaw->Exec("INSERT INTO " + customers + " VALUES (7, 'Ann')");
    FRaw->Exec("INSERT INTO " + customers + " VALUES (8, 'Bob')");
    const std::string orders = CreateTable("id integer primary key, cust integer, qty integer");
    test::InsertRows(*FRaw, orders, {"1, 8, 3", "2, 7, 5", "3, 42, 1", "4, NULL, 2"});

    TODBCTable* lookup = NewTable(customers);
    TODBCTable* t = NewTable(orders);
    t->FieldDefs()->Update();
    for (int i = 0; i < t->FieldDefs()->Count(); ++i) t->FieldDefs()->Items(i)->CreateField(t);
    auto* custName = new TStringField(t);
    custName->SetFieldName("custname");
    custName->SetSize(20);
    custName->SetLookup(true);
    custName->SetLookupDataSet(lookup);
    custName->SetKeyFields("cust");
    custName->SetLookupKeyFields("id");
    custName->SetLookupResultField("name");
    custName->SetDataSet(t);
    auto* label = new TStringField(t);
    label->SetFieldName("label");
    label->SetSize(30);
    label->SetCalculated(true);
    label->SetDataSet(t);
    t->OnCalcFields = [](TDataSet* d) {
        d->FieldByName("label")->SetAsString("#" + d->FieldByName("id")->AsString() + "x" +
                                             d->FieldByName("qty")->AsString());
    };
    t->SetIndexParams(nullptr);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    EXPECT_TRUE(lookup->Active());
    std::vector<String> seen;
    for (; !t->Eof(); t->Next())
        seen.push_back(label->AsString() + ":" + (custName->IsNull() ? String("(null)") : custName->AsString()));
    EXPECT_EQ(seen, (std::vector<String>{"#1x3:Bob", "#2x5:Ann", "#3x1:(null)", "#4x2:(null)"}));
    EXPECT_EQ(label->AsString(), "#4x2") << "at the end the last record stays active";
    t->Prior();
    EXPECT_EQ(label->AsString(), "#3x1");

    // A calculation handler cannot change data columns.
    t->OnCalcFields = [](TDataSet* d) { d->FieldByName("qty")->SetAsInteger(0); };
    EXPECT_EQ(ErrorOf([&] { t->First(); }), "Dataset not in edit or insert mode");
}

TEST_P(ODBCDataSet, LocateFindsTheRowOrLeavesThePosition) {
    const std::string name = CreateNumbered(40);
    TODBCTable* t = NewTable(name);
    t->SetRowSetSize(6);
    t->Open();
    EXPECT_TRUE(t->Locate("name", Variant("row 27"), {}));
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 27);
    EXPECT_FALSE(t->Locate("name", Variant("row 99"), {}));
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 27) << "a failed search keeps the record";
    t->Next();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 28);
    EXPECT_TRUE(t->Locate("NAME", Variant("ROW 3"), {loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 3);
    EXPECT_EQ(t->Lookup("id", Variant(12), "name").AsString(), "row 12");
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 3) << "Lookup does not move";
    t->Next();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 4);
}

/// Counts what a link is told.
class TCountingLink : public TDataLink {
public:
    int Activations = 0, Changed = 0, Scrolled = 0, Records = 0;
    std::vector<int> Scrolls;

protected:
    void ActiveChanged() override { ++Activations; }
    void DataSetChanged() override { ++Changed; }
    void DataSetScrolled(int Distance) override {
        ++Scrolled;
        Scrolls.push_back(Distance);
    }
    void RecordChanged(TField*) override { ++Records; }
};

TEST_P(ODBCDataSet, DataLinksAreToldOnceWhileControlsAreDisabledAndShareTheRing) {
    const std::string name = CreateNumbered(30);
    TODBCTable* t = NewTable(name);
    auto* src1 = new TDataSource(FOwner.get());
    auto* src2 = new TDataSource(FOwner.get());
    src1->SetDataSet(t);
    src2->SetDataSet(t);
    TCountingLink grid, single;
    grid.SetBufferCount(5);
    grid.SetDataSource(src1);
    single.SetDataSource(src2);
    t->SetRowSetSize(4);
    t->Open();
    EXPECT_EQ(grid.Activations, 1);
    EXPECT_EQ(single.Activations, 1);
    EXPECT_EQ(t->WindowRecordCount(), 5) << "the ring holds what the largest link shows";

    t->Next();
    t->Next();
    EXPECT_EQ(grid.Scrolled, 2);
    EXPECT_EQ(single.Scrolled, 2);

    grid.Changed = grid.Scrolled = single.Changed = single.Scrolled = 0;
    t->DisableControls();
    t->MoveBy(10);
    t->Last();
    t->Prior();
    EXPECT_EQ(grid.Changed + grid.Scrolled, 0);
    t->EnableControls();
    EXPECT_EQ(grid.Changed, 1);
    EXPECT_EQ(single.Changed, 1);
    EXPECT_EQ(grid.Scrolled, 0);
    EXPECT_EQ(grid.ActiveRecord(), 3) << "the grid shows the last five with the second last active";
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 29);

    // Each link keeps its own window on the shared ring.
    t->First();
    EXPECT_EQ(grid.ActiveRecord(), 0);
    EXPECT_EQ(grid.RecordCount(), 5);
    EXPECT_EQ(single.RecordCount(), 1);
    t->Close();
    EXPECT_EQ(grid.Activations, 2);
    EXPECT_FALSE(single.Active());
}

TEST_P(ODBCDataSet, ReadOnlyTablesAndReadOnlyCursorsCannotModify) {
    const std::string name = CreateNumbered(3);
    TODBCTable* t = NewTable(name);
    t->Open();
    EXPECT_TRUE(t->CanModify());
    t->Close();
    t->SetReadOnly(true);
    t->Open();
    EXPECT_FALSE(t->CanModify());
    SQLULEN concurrency = 0;
    ASSERT_TRUE(ODBCSucceeded(
        odbc::SQLGetStmtAttr(t->StmtHandle(), SQL_ATTR_CONCURRENCY, &concurrency, SQL_IS_UINTEGER, nullptr)));
    EXPECT_EQ(concurrency, static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY)) << "the statement is prepared read-only";
    EXPECT_EQ(ErrorOf([&] { t->Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { t->SetReadOnly(false); }), "Cannot perform this operation on an open dataset");
    EXPECT_EQ(ErrorOf([&] { t->SetTableName("other"); }), "Cannot perform this operation on an open dataset");
}

INSTANTIATE_TEST_SUITE_P(Drivers, ODBCDataSet, test::AllDrivers(), test::DriverParamName());

// A connection whose driver offers neither keyset cursors nor what the
// cursor library needs is forward-only: rows cannot be written back there,
// so nothing may be edited.
TEST(ODBCDataSetForwardOnlySQLite, ForwardOnlyConnectionsCannotModify) {
    const test::TestDriver& drv = test::Driver(test::DriverKind::SQLite);
    test::RawConnection raw(drv);
    const std::string name = test::UniqueName("fo");
    test::TableGuard guard(drv, name);
    raw.Exec("CREATE TABLE " + name + " (id integer primary key, name varchar(10))");
    raw.Exec("INSERT INTO " + name + " VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = test::NewDatabase(owner.get(), drv);
    {
        faults::Scope scope;
        faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, 0);
        db->Open();
    }
    ASSERT_EQ(db->CursorMode(), cmForwardOnly);
    auto* t = new TODBCTable(owner.get());
    t->SetDataBase(db);
    t->SetTableName(name);
    t->Open();
    EXPECT_FALSE(t->CanModify());
    EXPECT_EQ(ErrorOf([&] { t->Edit(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { t->Append(); }), "Cannot modify a read-only dataset");
    EXPECT_EQ(IdsToEnd(*t), (std::vector<std::string>{"1", "2", "3"}));
    t->First();
    EXPECT_EQ(t->FieldByName("name")->AsString(), "a") << "the rows are read again from the start";
}

}  // namespace
}  // namespace velora
