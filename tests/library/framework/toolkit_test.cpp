// How windows follow their objects, against the recording widget set: made
// on demand (parents first), kept in step by the setters, taken back from
// the user on DestroyHandle, gone without stale handles when destroyed from
// outside, and never half built.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_widgetset.h"
#include "framework/Classes.h"

namespace quorlane {
namespace {

using testing::FakeWidgetSet;

class Toolkit : public ::testing::Test {
 protected:
  template <typename T>
  T& Place(TWinControl& parent) {
    T& control = TComponent::Create<T>(*form);
    control.SetParent(&parent);
    return control;
  }
  const testing::FakeWindow& Window(TWinControl& control) { return widgets.Window(control.Handle()); }

  FakeWidgetSet widgets;  // outlives the form
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
};

TEST_F(Toolkit, ObjectsWorkWithoutWindowsAndSendNothing) {
  auto& label = Place<TLabel>(*form);
  auto& list = Place<TListBox>(*form);
  label.SetCaption("caption");
  label.Font().SetName("Arial");
  list.Items().Add("a");
  list.Items().Add("b");
  list.SetItemIndex(1);
  list.Items().Put(1, "B");
  EXPECT_EQ(list.ItemIndex(), 1);
  EXPECT_FALSE(label.HandleAllocated());
  EXPECT_EQ(widgets.WindowCount(), 0);
  EXPECT_EQ(widgets.LiveFonts(), 0);
  EXPECT_EQ(widgets.Calls("SetText") + widgets.Calls("ListInsert"), 0);
}

TEST_F(Toolkit, HandleMakesTheParentFirstThenItsVisibleChildrenWithTheirState) {
  auto& label = Place<TLabel>(*form);
  label.SetCaption("\xB3\x6E\xC5\xE9");
  label.Font().SetName("PMingLiU");
  label.Font().SetCharset(kChineseBig5Charset);
  auto& list = Place<TListBox>(*form);
  for (const char* line : {"a", "b", "c"}) list.Items().Add(line);
  list.SetItemIndex(2);
  auto& hidden = Place<TEdit>(*form);
  hidden.Hide();

  const WidgetHandle handle = list.Handle();
  EXPECT_EQ(widgets.created, (std::vector<WidgetKind>{WidgetKind::Form, WidgetKind::Label, WidgetKind::ListBox}));
  EXPECT_FALSE(widgets.Window(form->Handle()).visible) << "a form shows only by Show()";
  EXPECT_EQ(Window(label).text, "\xB3\x6E\xC5\xE9");
  const TFontData& font = widgets.Font(Window(label).font);
  EXPECT_EQ(font.name, "PMingLiU");
  EXPECT_EQ(font.charset, 136);
  EXPECT_EQ(widgets.Window(handle).lines, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(widgets.Window(handle).selection, 2);
  EXPECT_FALSE(hidden.HandleAllocated());
  hidden.Show();
  EXPECT_TRUE(hidden.HandleAllocated());
  EXPECT_TRUE(widgets.Window(hidden.Handle()).visible);
}

TEST_F(Toolkit, SettersSendOnlyWhatChangedAndFontsOfOneDescriptionShareOneObject) {
  auto& label = Place<TLabel>(*form);
  (void)form->Handle();
  widgets.ResetCalls();
  label.SetCaption("one");
  label.SetCaption("one");
  EXPECT_EQ(widgets.Calls("SetText"), 1);
  EXPECT_EQ(Window(label).text, "one");

  EXPECT_EQ(widgets.LiveFonts(), 1) << "the form and the label look alike";
  label.Font().BeginUpdate();
  label.Font().SetName("\xD0\xC2\xCB\xCE\xCC\xE5");
  label.Font().SetCharset(kGB2312Charset);
  EXPECT_EQ(widgets.Calls("SetFont"), 0) << "nothing while the font's bracket is open";
  label.Font().EndUpdate();
  EXPECT_EQ(widgets.Calls("SetFont"), 1);
  EXPECT_EQ(widgets.Calls("CreateFontHandle"), 1);
  EXPECT_EQ(widgets.Font(Window(label).font).charset, 134);
  EXPECT_EQ(widgets.LiveFonts(), 2);
  label.SetFont(&form->Font());
  EXPECT_EQ(Window(label).font, Window(*form).font);
  EXPECT_EQ(widgets.LiveFonts(), 1) << "the label's own went when it got the shared one";

  label.Hide();
  EXPECT_FALSE(Window(label).visible);
  label.SetBounds(5, 6, 70, 20);
  EXPECT_EQ(Window(label).left, 5);
}

TEST_F(Toolkit, DestroyHandleTakesBackWhatTheUserChangedAndRebuildsFromTheObjects) {
  auto& edit = Place<TEdit>(*form);
  auto& memo = Place<TMemo>(*form);
  auto& list = Place<TListBox>(*form);
  for (const char* line : {"a", "b"}) list.Items().Add(line);
  edit.SetText("typed by code");
  (void)form->Handle();
  widgets.ResetCalls();
  EXPECT_EQ(edit.Text(), "typed by code");
  EXPECT_EQ(widgets.Calls("GetText"), 0) << "untouched text is read from the object";

  widgets.UserTypes(edit.Handle(), "typed by the user");
  widgets.UserTypes(memo.Handle(), "l1\r\nl2");
  widgets.UserSelects(list.Handle(), 1);
  form->DestroyHandle();
  EXPECT_EQ(widgets.WindowCount(), 0);
  EXPECT_EQ(widgets.LiveFonts(), 0);
  EXPECT_EQ(edit.Text(), "typed by the user");
  EXPECT_EQ(memo.Lines().Count(), 2);
  EXPECT_EQ(memo.Lines().Get(1), "l2");
  EXPECT_EQ(list.ItemIndex(), 1);

  (void)form->Handle();
  EXPECT_EQ(Window(edit).text, "typed by the user");
  EXPECT_EQ(Window(memo).text, "l1\r\nl2");
  EXPECT_EQ(Window(list).selection, 1);
}

TEST_F(Toolkit, WindowsDestroyedWithTheirParentLeaveNoStaleHandles) {
  auto& panel = Place<TPanel>(*form);
  auto& label = Place<TLabel>(panel);
  (void)form->Handle();
  ASSERT_TRUE(label.HandleAllocated());
  widgets.DestroyHandle(panel.Handle());  // from outside, as a parent window's end would
  EXPECT_FALSE(panel.HandleAllocated());
  EXPECT_FALSE(label.HandleAllocated());
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_EQ(widgets.LiveFonts(), 1) << "only the form's";
  label.SetCaption("later");
  EXPECT_EQ(Window(label).text, "later");
  EXPECT_EQ(widgets.Window(label.Handle()).parent, panel.Handle());
}

TEST_F(Toolkit, FreeingAFormDestroysItsWindowsWithoutTakingAnythingBack) {
  auto& edit = Place<TEdit>(*form);
  (void)form->Handle();
  widgets.UserTypes(edit.Handle(), "unsaved");
  widgets.ResetCalls();
  form.reset();
  EXPECT_EQ(widgets.WindowCount(), 0);
  EXPECT_EQ(widgets.LiveFonts(), 0);
  EXPECT_EQ(widgets.Calls("GetText"), 0);
  EXPECT_EQ(widgets.Calls("DestroyHandle"), 1) << "the form's window took its children along";
}

TEST_F(Toolkit, FailedCreationOfAChildTakesTheHalfBuiltTreeAway) {
  Place<TLabel>(*form);
  auto& grid = Place<TDBGrid>(*form);
  widgets.failNextCreate = WidgetKind::ReportView;
  EXPECT_THROW((void)form->Handle(), Exception);
  EXPECT_EQ(widgets.WindowCount(), 0);
  EXPECT_EQ(widgets.LiveFonts(), 0);
  EXPECT_FALSE(form->HandleAllocated());
  EXPECT_TRUE(grid.Handle() != 0) << "the next attempt builds it all";
  EXPECT_EQ(widgets.WindowCount(), 3);
}

// The host framework's rule: a list box selects a replaced line again; a
// combo box loses its selection and keeps its text. The window agrees.
TEST_F(Toolkit, ReplacingTheSelectedLineKeepsAListBoxSelectionAndDropsAComboBoxOne) {
  for (const bool withWindow : {false, true}) {
    SCOPED_TRACE(withWindow ? "with a window" : "without a window");
    auto& list = Place<TListBox>(*form);
    auto& combo = Place<TComboBox>(*form);
    for (TCustomListControl* control : {static_cast<TCustomListControl*>(&list), static_cast<TCustomListControl*>(&combo)}) {
      for (const char* line : {"a", "b", "c"}) control->Items().Add(line);
      control->SetItemIndex(1);
    }
    if (withWindow) (void)form->Handle();
    list.Items().Put(1, "B");
    combo.Items().Put(1, "B");
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(combo.ItemIndex(), -1);
    EXPECT_EQ(combo.Text(), "b");
    combo.Items().Insert(0, "first");
    list.Items().Insert(0, "first");
    EXPECT_EQ(list.ItemIndex(), 2) << "the selection moves with its line";
    if (withWindow) {
      EXPECT_EQ(Window(list).selection, 2);
      EXPECT_EQ(Window(list).lines[2], "B");
      EXPECT_EQ(Window(combo).selection, -1);
      EXPECT_EQ(Window(combo).text, "b");
    }
    combo.SetItemIndex(2);
    EXPECT_EQ(combo.Text(), "B");
    widgets.UserSelects(combo.Handle(), 3);
    EXPECT_EQ(combo.ItemIndex(), 3);
    EXPECT_EQ(combo.Text(), "c");
    EXPECT_THROW(combo.SetItemIndex(4), Exception);
    form->DestroyHandle();
  }
}

TEST_F(Toolkit, UpdateBracketTurnsRedrawOffOnceAndAWindowMadeInsideStartsWithoutIt) {
  auto& list = Place<TListBox>(*form);
  auto& later = Place<TListBox>(*form);
  later.Hide();
  (void)list.Handle();
  list.Items().BeginUpdate();
  list.Items().BeginUpdate();
  list.Items().Add("x");
  EXPECT_FALSE(Window(list).redraw);
  list.Items().EndUpdate();
  EXPECT_FALSE(Window(list).redraw);
  list.Items().EndUpdate();
  list.Items().EndUpdate();  // unbalanced: ignored
  EXPECT_TRUE(Window(list).redraw);
  EXPECT_EQ(widgets.Calls("SetRedraw"), 2);

  later.Items().BeginUpdate();
  later.Show();
  EXPECT_FALSE(Window(later).redraw);
  later.Items().EndUpdate();
  EXPECT_TRUE(Window(later).redraw);
}

class ShowProbe : public TComponent {
 public:
  using TComponent::TComponent;
  void FormShow(TObject& sender) { shownWhileVisible.push_back(widgets->Window(static_cast<TForm&>(sender).Handle()).visible); }
  FakeWidgetSet* widgets = nullptr;
  std::vector<bool> shownWhileVisible;
};

TEST_F(Toolkit, ShowCallsOnShowBeforeTheWindowAppearsAndDropsAHandlerWhoseObjectIsFreed) {
  auto& probe = TComponent::Create<ShowProbe>(*form);
  probe.widgets = &widgets;
  form->SetOnShow(TNotifyEvent::Of<&ShowProbe::FormShow>(probe));
  form->Show();
  EXPECT_EQ(probe.shownWhileVisible, std::vector<bool>{false});
  EXPECT_TRUE(Window(*form).visible);
  widgets.UserCloses(form->Handle());
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(Window(*form).visible);

  form->RemoveComponent(probe).reset();
  EXPECT_FALSE(static_cast<bool>(form->OnShow()));
  form->Show();  // no call into the freed handler
  EXPECT_TRUE(form->Visible());
}

TEST_F(Toolkit, ScreenListsFormsInCreationOrderAndPostingMakesTheWindowFirst) {
  const int before = Screen().FormCount();
  auto second = std::make_unique<TForm>(nullptr);
  auto third = std::make_unique<TForm>(nullptr);
  second.reset();
  ASSERT_EQ(Screen().FormCount(), before + 1);
  EXPECT_EQ(&Screen().Forms(before - 1), form.get());
  EXPECT_EQ(&Screen().Forms(before), third.get());
  EXPECT_TRUE(third->PostWindowMessage(2024, 0, 0));
  EXPECT_EQ(widgets.posted.back(), std::make_pair(third->Handle(), 2024u));
}

// ---- tree views, list views, actions, labeled edits ------------------------

TEST_F(Toolkit, TreeNodesComeInAbsoluteOrderAndTheWindowFollowsThemUnderOneRedrawBracket) {
  auto& tree = Place<TTreeView>(*form);
  TTreeNodes& nodes = tree.Items();
  TTreeNode& a = nodes.AddChild(nullptr, "a");
  TTreeNode& b = nodes.AddChild(nullptr, "b");
  nodes.AddChild(&a, "a1");
  TTreeNode& a2 = nodes.AddChild(&a, "a2");
  nodes.AddChild(&a2, "a21");
  a.SetExpanded(true);
  std::vector<std::string> order;
  for (int i = 0; i < nodes.Count(); ++i) order.push_back(nodes.Item(i).Text());
  EXPECT_EQ(order, (std::vector<std::string>{"a", "a1", "a2", "a21", "b"}));
  EXPECT_EQ(b.AbsoluteIndex(), 4);

  nodes.BeginUpdate();
  (void)tree.Handle();  // made inside the bracket
  EXPECT_FALSE(Window(tree).redraw);
  const auto shown = [&] {
    std::vector<std::string> texts;
    for (const auto& item : Window(tree).treeItems) texts.push_back(item.text);
    return texts;
  };
  EXPECT_EQ(shown(), order);
  EXPECT_TRUE(Window(tree).treeItems[0].expanded);
  widgets.ResetCalls();
  for (int i = 0; i < nodes.Count(); ++i) nodes.Item(i).SetText(nodes.Item(i).Text() + "!");
  nodes.AddChild(&b, "b1");
  nodes.Delete(a2);
  nodes.EndUpdate();
  EXPECT_TRUE(Window(tree).redraw);
  EXPECT_EQ(widgets.Calls("SetRedraw"), 1) << "on again once, at the bracket's close";
  EXPECT_EQ(widgets.Calls("TreeSetText"), 5);
  EXPECT_EQ(shown(), (std::vector<std::string>{"a!", "a1!", "b!", "b1"}));
  EXPECT_EQ(nodes.Count(), 4);

  tree.DestroyHandle();
  nodes.Clear();
  EXPECT_EQ(shown(), std::vector<std::string>{}) << "rebuilt from the objects";
}

TEST_F(Toolkit, ListViewItemsAndSubItemsSendOneCellEachInsideTheirBracket) {
  auto& view = Place<TListView>(*form);
  for (const char* title : {"name", "qty", "price"}) view.Columns().Add().SetCaption(title);
  TListItem& first = view.Items().Add();
  first.SetCaption("pen");
  first.SubItems().Add("3");
  (void)view.Handle();
  EXPECT_EQ(Window(view).columns, (std::vector<std::string>{"name", "qty", "price"}));
  EXPECT_EQ(Window(view).rows, (std::vector<std::vector<std::string>>{{"pen", "3", ""}}));

  widgets.ResetCalls();
  view.Items().BeginUpdate();
  first.SubItems().Put(0, "4");
  first.SetCaption("ink");
  TListItem& second = view.Items().Add();
  second.SetCaption("cap");
  view.Columns().Items(1).SetCaption("amount");
  view.Items().EndUpdate();
  EXPECT_EQ(widgets.Calls("SetRedraw"), 2);
  EXPECT_EQ(widgets.Calls("RowsClear") + widgets.Calls("ColumnInsert"), 0) << "nothing rebuilt";
  EXPECT_EQ(Window(view).rows, (std::vector<std::vector<std::string>>{{"ink", "4", ""}, {"cap", "", ""}}));
  EXPECT_EQ(Window(view).columns[1], "amount");
  view.Items().Delete(0);
  EXPECT_EQ(Window(view).rows, (std::vector<std::vector<std::string>>{{"cap", "", ""}}));
}

TEST_F(Toolkit, ControlsFollowTheirActionAndLabeledEditsCarryTheirLabel) {
  auto& action = TComponent::Create<TAction>(*form);
  action.SetCaption("Save");
  action.SetHint("Saves the order");
  int executed = 0;
  struct Counter : TComponent {
    using TComponent::TComponent;
    int* count = nullptr;
    void Run(TObject&) { ++*count; }
  } counter(nullptr);
  counter.count = &executed;
  action.OnExecute = TNotifyEvent::Of<&Counter::Run>(counter);
  auto& button = Place<TButton>(*form);
  button.SetAction(&action);
  EXPECT_EQ(button.Caption(), "Save");
  EXPECT_EQ(Window(button).hint, "Saves the order");
  action.SetCaption("Store");
  EXPECT_EQ(Window(button).text, "Store");
  widgets.UserClicks(button.Handle());
  EXPECT_EQ(executed, 1);
  form->RemoveComponent(action).reset();
  EXPECT_EQ(button.Action(), nullptr);
  EXPECT_EQ(button.Caption(), "Store");

  auto& edit = Place<TLabeledEdit>(*form);
  edit.EditLabel().SetCaption("Customer");
  edit.SetBounds(10, 40, 120, 21);
  EXPECT_EQ(edit.EditLabel().Parent(), form.get());
  EXPECT_EQ(edit.EditLabel().Top(), 40 - edit.EditLabel().Height() - TCustomLabeledEdit::kLabelSpacing);
  EXPECT_EQ(Window(edit.EditLabel()).text, "Customer");
  edit.Hide();
  EXPECT_FALSE(Window(edit.EditLabel()).visible);
  EXPECT_EQ(GetObjectProp(edit, "EditLabel"), &edit.EditLabel());
}

// ---- grids and datasets ---------------------------------------------------

class Grids : public Toolkit {
 protected:
  void SetUp() override {
    data.AddFieldDef("Name", TFieldType::ftString, 20);
    data.AddFieldDef("Qty", TFieldType::ftInteger);
    data.Open();
    data.AppendRecord({"pen", "3"});
    data.AppendRecord({"ink", std::nullopt});
    source.SetDataSet(&data);
  }
  TDataSet& data = TComponent::Create<TDataSet>(*form);
  TDataSource& source = TComponent::Create<TDataSource>(*form);
};

TEST_F(Grids, DBGridShowsColumnTitlesOverTheRecordsAndSendsOneTitleWhenOneChanges) {
  auto& grid = Place<TDBGrid>(*form);
  for (const char* field : {"Name", "Qty"}) {
    TColumn& column = grid.Columns().Add();
    column.SetFieldName(field);
    column.Title().SetCaption(std::string("T-") + field);
  }
  grid.SetDataSource(&source);
  EXPECT_EQ(Window(grid).columns, (std::vector<std::string>{"T-Name", "T-Qty"}));
  EXPECT_EQ(Window(grid).rows, (std::vector<std::vector<std::string>>{{"pen", "3"}, {"ink", ""}}));
  EXPECT_EQ(Window(grid).headerFont, Window(grid).headerFont);

  widgets.ResetCalls();
  grid.Columns().Items(1).Title().SetCaption("Amount");
  EXPECT_EQ(widgets.Calls("ColumnSetTitle"), 1);
  EXPECT_EQ(widgets.Calls("ColumnInsert") + widgets.Calls("RowInsert"), 0);
  EXPECT_EQ(Window(grid).columns[1], "Amount");
  grid.Columns().Items(0).Title().Font().SetName("Header Face");
  EXPECT_EQ(widgets.Font(Window(grid).headerFont).name, "Header Face") << "the first title's font heads the view";
}

TEST_F(Grids, DisabledControlsHearNothingUntilTheLastEnableWhichRebuildsOnce) {
  auto& grid = Place<TDBGrid>(*form);
  grid.Columns().Add().SetFieldName("Name");
  grid.SetDataSource(&source);
  (void)grid.Handle();
  widgets.ResetCalls();
  data.DisableControls();
  data.DisableControls();
  for (data.First(); !data.Eof(); data.Next()) {
    data.Edit();
    data.FieldByName("Name").SetAsString(data.FieldByName("Name").AsString() + "!");
    data.Post();
  }
  data.EnableControls();
  EXPECT_TRUE(data.ControlsDisabled());
  EXPECT_EQ(widgets.Calls("RowsClear") + widgets.Calls("CellSetText") + widgets.Calls("RowInsert"), 0);
  data.EnableControls();
  EXPECT_FALSE(data.ControlsDisabled());
  EXPECT_EQ(widgets.Calls("RowsClear"), 1);
  EXPECT_EQ(Window(grid).rows, (std::vector<std::vector<std::string>>{{"pen!"}, {"ink!"}}));

  // With controls enabled a post updates the one row.
  widgets.ResetCalls();
  data.First();
  data.Edit();
  data.FieldByName("Name").SetAsString("quill");
  data.Post();
  EXPECT_EQ(widgets.Calls("RowsClear"), 0);
  EXPECT_EQ(Window(grid).rows[0][0], "quill");
}

TEST_F(Grids, BandGridsShowBandsOrColumnsInTheirOwnHeaderFont) {
  auto& tree = Place<TdxTreeList>(*form);
  tree.Bands().Add().SetCaption("Band A");
  tree.BandFont().SetName("Band Face");
  auto& dx = Place<TdxDBGrid>(*form);
  dx.Bands().Add().SetCaption("Band B");
  dx.HeaderFont().SetName("Header Face");
  TdxDBGridColumn& column = dx.Columns().Add();
  column.SetFieldName("Qty");
  column.SetCaption("Quantity");
  dx.SetDataSource(&source);
  EXPECT_EQ(Window(tree).columns, std::vector<std::string>{"Band A"});
  EXPECT_EQ(widgets.Font(Window(tree).headerFont).name, "Band Face");
  EXPECT_EQ(Window(dx).columns, std::vector<std::string>{"Quantity"});
  EXPECT_EQ(widgets.Font(Window(dx).headerFont).name, "Header Face");
  EXPECT_EQ(Window(dx).rows, (std::vector<std::vector<std::string>>{{"3"}, {""}}));
  tree.Bands().Items(0).SetCaption("Band A2");
  EXPECT_EQ(Window(tree).columns[0], "Band A2");
}

TEST_F(Grids, AFreedDataSourceOrDataSetLeavesNoDanglingLink) {
  auto& grid = Place<TDBGrid>(*form);
  grid.Columns().Add().SetFieldName("Name");
  grid.SetDataSource(&source);
  (void)grid.Handle();
  form->RemoveComponent(data).reset();
  EXPECT_EQ(source.DataSet(), nullptr);
  EXPECT_TRUE(Window(grid).rows.empty());
  form->RemoveComponent(source).reset();
  EXPECT_EQ(grid.DataSource(), nullptr);
}

TEST(DataSets, StatesFieldsAndValues) {
  TDataSet data(nullptr);
  data.AddFieldDef("Text", TFieldType::ftString);
  data.AddFieldDef("Count", TFieldType::ftInteger);
  EXPECT_THROW(data.Edit(), Exception) << "closed";
  data.Open();
  EXPECT_TRUE(data.Eof());
  EXPECT_THROW(data.AddFieldDef("Late", TFieldType::ftMemo), Exception);
  data.AppendRecord({"a", "1"});
  data.AppendRecord({std::nullopt, "2"});
  data.First();
  EXPECT_THROW(data.Fields(0).SetAsString("x"), Exception) << "not in edit mode";
  data.Edit();
  EXPECT_THROW(data.Fields(1).SetAsString("x"), Exception) << "not an integer";
  data.Fields(0).SetAsString("");
  EXPECT_TRUE(data.Fields(0).IsNull());
  data.Next();  // posts first
  EXPECT_EQ(data.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(data.RecNo(), 2);
  EXPECT_EQ(data.Fields(1).AsInteger(), 2);
  data.Next();
  EXPECT_TRUE(data.Eof());
  data.Close();
  data.Open();
  EXPECT_EQ(data.RecordCount(), 2);
  EXPECT_TRUE(data.Fields(0).IsNull()) << "the posted edit stayed";
}

}  // namespace
}  // namespace quorlane
