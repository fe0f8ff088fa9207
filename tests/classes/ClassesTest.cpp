// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The object model: string lists (name=value lines, text, change events),
// the pointer list's range checks, assignment errors, and the owner tree
// (freeing order, names, notifications and free notification).
#include "velora/classes/Classes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace velora;

namespace {

std::vector<String> Lines(const TStrings& s) {
    std::vector<String> out;
    for (int i = 0; i < s.Count(); ++i) out.push_back(s[i]);
    return out;
}

// ---------------------------------------------------------------------------
// TStrings

TEST(StringListTest, ValuesReadNameCaseInsensitivelyAndGiveEmptyWhenAbsent) {
    TStringList s;
    s.Add("USER NAME=joe");
    s.Add("junk");
    s.Add("PASSWORD=");
    s.Add("user name=second");
    EXPECT_EQ(s.Values("user name"), "joe");
    EXPECT_EQ(s.Values("PASSWORD"), "");
    EXPECT_EQ(s.IndexOfName("password"), 2);  // present with an empty value
    EXPECT_EQ(s.IndexOfName("junk"), -1);     // a line without "=" has no name
    EXPECT_EQ(s.IndexOfName("nothing"), -1);
    EXPECT_EQ(s.Values("nothing"), "");
    EXPECT_EQ(s.Names(0), "USER NAME");
    EXPECT_EQ(s.Names(1), "");
}

TEST(StringListTest, SetValuesReplacesAppendsAndRemoves) {
    TStringList s;
    s.Add("A=1");
    s.Add("B=2");
    s.SetValues("b", "two=2");  // replaces, with the name as given
    s.SetValues("C", "3");      // appends
    EXPECT_EQ(Lines(s), (std::vector<String>{"A=1", "b=two=2", "C=3"}));
    EXPECT_EQ(s.Values("B"), "two=2");
    s.SetValues("A", "");  // empty value removes the line
    EXPECT_EQ(Lines(s), (std::vector<String>{"b=two=2", "C=3"}));
    s.SetValues("missing", "");  // removing an absent line changes nothing
    EXPECT_EQ(s.Count(), 2);
}

TEST(StringListTest, TextEndsEveryLineWithCrLfAndSplitsOnAnyLineBreak) {
    TStringList s;
    EXPECT_EQ(s.Text(), "");
    s.Add("a");
    s.Add("");
    s.Add("c");
    EXPECT_EQ(s.Text(), "a\r\n\r\nc\r\n");

    s.SetText("x\r\ny\nz\rw");
    EXPECT_EQ(Lines(s), (std::vector<String>{"x", "y", "z", "w"}));
    s.SetText("one\r\n");
    EXPECT_EQ(Lines(s), (std::vector<String>{"one"}));
    s.SetText("a\n\nb\r\n\r\n");
    EXPECT_EQ(Lines(s), (std::vector<String>{"a", "", "b", ""}));
    s.SetText("");
    EXPECT_EQ(s.Count(), 0);
}

TEST(StringListTest, CommaTextQuotesWhenNeededAndParsesBack) {
    TStringList s;
    s.Add("plain");
    s.Add("with blank");
    s.Add("a,b");
    s.Add("say \"hi\"");
    const String text = s.CommaText();
    EXPECT_EQ(text, "plain,\"with blank\",\"a,b\",\"say \"\"hi\"\"\"");
    TStringList t;
    t.SetCommaText(text);
    EXPECT_TRUE(t.Equals(s));
    t.SetCommaText("  x , y,,z");
    EXPECT_EQ(Lines(t), (std::vector<String>{"x", "y", "", "z"}));
}

TEST(StringListTest, IndexOfIsCaseInsensitiveAndRangeChecked) {
    TStringList s;
    s.Add("Alpha");
    s.Add("beta");
    EXPECT_EQ(s.IndexOf("ALPHA"), 0);
    EXPECT_EQ(s.IndexOf("gamma"), -1);
    EXPECT_THROW(s.Strings(2), EListError);
    EXPECT_THROW(s.Delete(-1), EListError);
    EXPECT_THROW(s.Insert(3, "x"), EListError);
    try {
        s.Strings(5);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (5)");
    }
}

struct EventLog {
    std::vector<String> Events;
    void Attach(TStringList& s) {
        s.OnChanging = [this, &s](TObject* sender) {
            EXPECT_EQ(sender, &s);
            Events.push_back("changing:" + std::to_string(s.Count()));
        };
        s.OnChange = [this, &s](TObject*) { Events.push_back("change:" + std::to_string(s.Count())); };
    }
};

TEST(StringListTest, EachChangeIsAnnouncedBeforeAndAfter) {
    TStringList s;
    EventLog log;
    log.Attach(s);
    s.Add("a");
    s.SetStrings(0, "b");
    s.Delete(0);
    EXPECT_EQ(log.Events,
              (std::vector<String>{"changing:0", "change:1", "changing:1", "change:1", "changing:1", "change:0"}));
}

TEST(StringListTest, NestedUpdatesFireOneChangingAndOneChange) {
    TStringList s;
    EventLog log;
    log.Attach(s);
    s.BeginUpdate();
    s.BeginUpdate();
    s.Add("a");
    s.Add("b");
    s.EndUpdate();
    EXPECT_EQ(log.Events, (std::vector<String>{"changing:0"}));  // still inside the outer update
    s.SetValues("N", "v");
    s.EndUpdate();
    EXPECT_EQ(log.Events, (std::vector<String>{"changing:0", "change:3"}));

    // An update without a change announces nothing.
    log.Events.clear();
    s.BeginUpdate();
    s.EndUpdate();
    EXPECT_TRUE(log.Events.empty());

    // Assign and SetText are one update each.
    TStringList other;
    other.Add("x");
    other.Add("y");
    s.Assign(&other);
    s.SetText("1\r\n2\r\n3");
    EXPECT_EQ(log.Events, (std::vector<String>{"changing:3", "change:2", "changing:2", "change:3"}));
}

TEST(StringListTest, ChangingHandlerThatRaisesPreventsTheChange) {
    TStringList s;
    s.Add("keep");
    bool locked = true;
    int changes = 0;
    s.OnChanging = [&](TObject*) {
        if (locked) throw EDatabaseError("locked");
    };
    s.OnChange = [&](TObject*) { ++changes; };
    EXPECT_THROW(s.Add("x"), EDatabaseError);
    EXPECT_THROW(s.SetValues("A", "1"), EDatabaseError);
    TStringList src;
    src.Add("new");
    EXPECT_THROW(s.Assign(&src), EDatabaseError);
    EXPECT_EQ(Lines(s), (std::vector<String>{"keep"}));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(s.UpdateCount(), 0);  // the failed Assign closed its update
    locked = false;
    s.Assign(&src);
    EXPECT_EQ(Lines(s), (std::vector<String>{"new"}));
    EXPECT_EQ(changes, 1);
}

TEST(StringListTest, AssignCopiesLinesAndObjectsAndRefusesOtherClasses) {
    TStringList src;
    TStringList marker;
    src.AddObject("a=1", &marker);
    src.Add("b=2");
    TStringList dst;
    dst.Add("old");
    dst.Assign(&src);
    EXPECT_TRUE(dst.Equals(src));
    EXPECT_EQ(dst.Objects(0), &marker);
    src.Add("later");
    EXPECT_EQ(dst.Count(), 2);  // a copy, not a view

    class TOther : public TPersistent {};
    TOther other;
    try {
        dst.Assign(&other);
        FAIL();
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TOther to a TStringList");
    }
    try {
        dst.Assign(nullptr);
        FAIL();
    } catch (const EAssignError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TStringList");
    }
}

TEST(StringListTest, SortedListKeepsOrderAndAppliesDuplicatesPolicy) {
    TStringList s;
    s.Add("pear");
    s.Add("Apple");
    s.SetSorted(true);
    EXPECT_EQ(Lines(s), (std::vector<String>{"Apple", "pear"}));
    s.Add("banana");
    EXPECT_EQ(Lines(s), (std::vector<String>{"Apple", "banana", "pear"}));
    EXPECT_EQ(s.Add("APPLE"), 0);  // dupIgnore: the existing index
    EXPECT_EQ(s.Count(), 3);
    EXPECT_EQ(s.IndexOf("PEAR"), 2);
    s.SetDuplicates(dupError);
    EXPECT_THROW(s.Add("banana"), EStringListError);
    EXPECT_THROW(s.Insert(0, "x"), EStringListError);
    s.SetDuplicates(dupAccept);
    s.Add("banana");
    EXPECT_EQ(s.Count(), 4);
}

// ---------------------------------------------------------------------------
// TList

TEST(ListTest, OperationsAndRangeChecks) {
    TList list;
    int a = 1, b = 2, c = 3;
    EXPECT_EQ(list.Add(&a), 0);
    list.Add(&b);
    list.Insert(1, &c);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Get(1), &c);
    EXPECT_EQ(list.Last(), &b);
    EXPECT_EQ(list.IndexOf(&b), 2);
    EXPECT_EQ(list.Remove(&c), 1);
    EXPECT_EQ(list.Remove(&c), -1);
    EXPECT_EQ(list.Count(), 2);
    list.Put(0, nullptr);
    list.Pack();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_THROW(list.Get(1), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_THROW(list.Insert(5, &a), EListError);
    list.Clear();
    EXPECT_THROW(list.Last(), EListError);
    try {
        list.Get(0);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
}

// ---------------------------------------------------------------------------
// TComponent

// Records its destruction and the removals it is told about; keeps one
// reference that free notification must clear.
class TProbe : public TComponent {
public:
    TProbe(TComponent* owner, const String& name, std::vector<String>* log) : TComponent(owner), FLog(log) {
        SetName(name);
    }
    ~TProbe() override {
        if (FLog) FLog->push_back("free " + Name() + (IsDestroying() ? " destroying" : ""));
    }
    void Notification(TComponent* aComponent, TOperation operation) override {
        TComponent::Notification(aComponent, operation);
        if (operation == opRemove && aComponent == Target) Target = nullptr;
        if (operation == opRemove && FLog) FLog->push_back(Name() + " told " + aComponent->Name() + " removed");
    }
    void SetTarget(TComponent* target) {
        Target = target;
        if (target) target->FreeNotification(this);
    }
    TComponent* Target = nullptr;

private:
    std::vector<String>* FLog;
};

TEST(ComponentTest, OwnerFreesOwnedComponentsLastFirst) {
    std::vector<String> log;
    auto* root = new TProbe(nullptr, "Root", &log);
    new TProbe(root, "A", &log);
    auto* b = new TProbe(root, "B", &log);
    new TProbe(b, "B1", &log);
    new TProbe(root, "C", &log);
    EXPECT_EQ(root->ComponentCount(), 3);
    EXPECT_EQ(root->Components(1), b);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_THROW(root->Components(3), EListError);
    root->Free();
    std::vector<String> frees;
    for (const String& e : log)
        if (e.rfind("free ", 0) == 0) frees.push_back(e);
    EXPECT_EQ(frees, (std::vector<String>{"free C destroying", "free B1 destroying", "free B destroying",
                                          "free A destroying", "free Root destroying"}));
}

TEST(ComponentTest, PlainDeleteAlsoFreesOwnedComponents) {
    std::vector<String> log;
    auto* root = new TProbe(nullptr, "Root", &log);
    new TProbe(root, "A", &log);
    delete root;  // must not leak or touch freed memory (ASan)
    // The derived destructor ran before the owned component was freed.
    EXPECT_EQ(log.front(), "free Root");
    EXPECT_EQ(log.back(), "free A destroying");

    log.clear();
    {
        TOwnedPtr<TProbe> owned(new TProbe(nullptr, "Root", &log));
        new TProbe(owned.get(), "A", &log);
    }
    EXPECT_EQ(log.front(), "free A destroying");
    EXPECT_EQ(log.back(), "free Root destroying");
}

TEST(ComponentTest, NamesMustBeIdentifiersAndUniqueAmongTheOwnersComponents) {
    TComponent root(nullptr);
    auto* a = new TComponent(&root);
    auto* b = new TComponent(&root);
    a->SetName("Database1");
    EXPECT_THROW(b->SetName("DATABASE1"), EComponentError);
    try {
        b->SetName("1st");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "'1st' is not a valid component name");
    }
    try {
        b->SetName("database1");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_STREQ(e.what(), "A component named database1 already exists");
    }
    EXPECT_EQ(b->Name(), "");
    a->SetName("DATABASE1");  // renaming itself by case is allowed
    b->SetName("Query_2");
    EXPECT_EQ(root.FindComponent("query_2"), b);
    EXPECT_EQ(root.FindComponent("nothing"), nullptr);
    TComponent loose(nullptr);
    loose.SetName("Query_2");  // no owner: no uniqueness check
    EXPECT_THROW(root.InsertComponent(&loose), EComponentError);
    loose.SetName("");
}

TEST(ComponentTest, RemovalIsAnnouncedToTheOwnersComponents) {
    std::vector<String> log;
    TProbe root(nullptr, "Root", &log);
    auto* watcher = new TProbe(&root, "Watcher", &log);
    auto* victim = new TProbe(&root, "Victim", &log);
    watcher->Target = victim;  // same owner: no free notification needed
    victim->Free();
    EXPECT_EQ(watcher->Target, nullptr);
    EXPECT_NE(std::find(log.begin(), log.end(), "Watcher told Victim removed"), log.end());
    EXPECT_EQ(root.ComponentCount(), 1);
}

TEST(ComponentTest, FreeNotificationClearsReferencesAcrossOwners) {
    std::vector<String> log;
    auto* formA = new TProbe(nullptr, "FormA", &log);
    auto* formB = new TProbe(nullptr, "FormB", &log);
    auto* database = new TProbe(formA, "Database", &log);
    auto* query = new TProbe(formB, "Query", &log);
    query->SetTarget(database);
    formA->Free();  // frees the database: the query on the other form hears of it
    EXPECT_EQ(query->Target, nullptr);

    // The link is mutual: freeing the watcher first leaves nothing dangling.
    auto* formC = new TProbe(nullptr, "FormC", &log);
    auto* other = new TProbe(formC, "Other", &log);
    query->SetTarget(other);
    formB->Free();
    formC->Free();  // must not notify the freed query (ASan would catch it)

    // RemoveFreeNotification stops the notice.
    TProbe x(nullptr, "X", &log), y(nullptr, "Y", &log);
    auto* z = new TProbe(nullptr, "Z", &log);
    x.SetTarget(z);
    y.SetTarget(z);
    z->RemoveFreeNotification(&x);
    z->Free();
    EXPECT_NE(x.Target, nullptr);  // x was not told
    EXPECT_EQ(y.Target, nullptr);
    x.Target = nullptr;
}

TEST(ComponentTest, DesigningAndLoadedState) {
    TComponent root(nullptr);
    auto* child = new TComponent(&root);
    root.SetDesigning(true);
    EXPECT_TRUE(root.IsDesigning());
    EXPECT_TRUE(child->IsDesigning());
    root.SetDesigning(false, false);
    EXPECT_FALSE(root.IsDesigning());
    EXPECT_TRUE(child->IsDesigning());
    EXPECT_FALSE(root.ComponentState().Contains(csLoading));
    root.Destroying();
    EXPECT_TRUE(child->IsDestroying());
}

TEST(ComponentTest, ClassNameIsTheUnqualifiedTypeName) {
    TStringList s;
    TComponent c(nullptr);
    EXPECT_EQ(s.ClassName(), "TStringList");
    EXPECT_EQ(c.ClassName(), "TComponent");
    EXPECT_TRUE(s.InheritsFrom<TStrings>());
    EXPECT_FALSE(s.InheritsFrom<TComponent>());
}

TEST(ComponentTest, MethodTableIsSearchedThroughTheOwners) {
    TComponent root(nullptr);
    auto* child = new TComponent(&root);
    int calls = 0;
    root.RegisterMethod("Form1Click", TNotifyEvent([&](TObject*) { ++calls; }));
    const std::any* found = child->FindMethod("FORM1CLICK");
    ASSERT_NE(found, nullptr);
    (*std::any_cast<TNotifyEvent>(found))(child);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(child->MethodName("form1click"), "Form1Click");
    EXPECT_EQ(child->FindMethod("Other"), nullptr);
}

TEST(SetTest, SetOperations) {
    TComponentState s{csLoading, csDesigning};
    EXPECT_TRUE(s.Contains(csDesigning));
    EXPECT_FALSE(s.Contains(csReading));
    s.Exclude(csLoading);
    EXPECT_EQ(s, TComponentState{csDesigning});
    EXPECT_EQ((s + csReading).Bits(), (1u << csDesigning) | (1u << csReading));
    EXPECT_TRUE((s - csDesigning).Empty());
}

}  // namespace
