// The form conversion's rules, natively: which operation runs, in which
// order, on what; what is skipped; what the walk and the dataset loop leave
// behind when they finish or fail. A descendant converter journals every
// slot and marks each converted text <like this>, so it also shows that
// every path goes through the slots.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "recording_platform.h"
#include "script/WinPerTurn.h"

namespace quorlane {
namespace {

constexpr auto kToSimplified = TWinPerTurnType::wttTCToSC;
constexpr auto kToTraditional = TWinPerTurnType::wttSCToTC;
const std::string kTCFace = TWinPerTurn::kDefaultTCFont;
const std::string kSCFace = TWinPerTurn::kDefaultSCFont;

std::string Describe(const TObject& object) {
  if (object.Is<TComponent>() && !static_cast<const TComponent&>(object).Name().empty()) {
    return static_cast<const TComponent&>(object).Name();
  }
  return object.ClassName();
}

class JournalConverter : public TWinPerTurn {
 public:
  using TWinPerTurn::TWinPerTurn;
  std::vector<std::string> journal;
  std::string failOn;  // TurnText raises for this text

  void TurnText(std::string text, TWinPerTurnType type, bool phrase, std::string& result) override {
    if (!failOn.empty() && text == failOn) throw Exception("conversion failed");
    TWinPerTurn::TurnText(std::move(text), type, phrase, result);
    if (!result.empty()) result = "<" + result + ">";
  }
  void TurnFont(TObject& o, const std::string& font, TWinPerTurnType t) override {
    Log("TurnFont", o, font);
    TWinPerTurn::TurnFont(o, font, t);
  }
  void TurnStrProp(TObject& o, const std::string& p, TWinPerTurnType t, bool u) override {
    Log("TurnStrProp", o, p);
    TWinPerTurn::TurnStrProp(o, p, t, u);
  }
  void TurnStringsProp(TObject& o, const std::string& p, TWinPerTurnType t, bool u) override {
    Log("TurnStringsProp", o, p);
    TWinPerTurn::TurnStringsProp(o, p, t, u);
  }
  void TurnFontAndText(TObject& o, const std::string& p, const std::string& f, TWinPerTurnType t, bool u) override {
    Log("TurnFontAndText", o, p + "," + f);
    TWinPerTurn::TurnFontAndText(o, p, f, t, u);
  }
  void TurnComponent(TComponent& c, TWinPerTurnType t, bool u) override {
    Log("TurnComponent", c);
    TWinPerTurn::TurnComponent(c, t, u);
  }
  void TurnDataSet(TDataSet& d, TWinPerTurnType t, bool u) override {
    Log("TurnDataSet", d);
    TWinPerTurn::TurnDataSet(d, t, u);
  }
  void TurnDBGrid(TDBGrid& g, TWinPerTurnType t, bool u) override {
    Log("TurnDBGrid", g);
    TWinPerTurn::TurnDBGrid(g, t, u);
  }
  void TurnDxDBGrid(TdxDBGrid& g, TWinPerTurnType t, bool u) override {
    Log("TurnDxDBGrid", g);
    TWinPerTurn::TurnDxDBGrid(g, t, u);
  }
  void TurnDxTreeList(TdxTreeList& g, TWinPerTurnType t, bool u) override {
    Log("TurnDxTreeList", g);
    TWinPerTurn::TurnDxTreeList(g, t, u);
  }
  void TurnRzComboBox(TRzComboBox& c, TWinPerTurnType t, bool u) override {
    Log("TurnRzComboBox", c);
    TWinPerTurn::TurnRzComboBox(c, t, u);
  }
  void TurnRzDBLabel(TRzDBLabel& l, TWinPerTurnType t, bool u) override {
    Log("TurnRzDBLabel", l);
    TWinPerTurn::TurnRzDBLabel(l, t, u);
  }
  void TurnRzLabel(TRzLabel& l, TWinPerTurnType t, bool u) override {
    Log("TurnRzLabel", l);
    TWinPerTurn::TurnRzLabel(l, t, u);
  }
  void TurnRzPanel(TRzPanel& p, TWinPerTurnType t, bool u) override {
    Log("TurnRzPanel", p);
    TWinPerTurn::TurnRzPanel(p, t, u);
  }

 private:
  void Log(const char* operation, const TObject& o, const std::string& detail = {}) {
    journal.push_back(std::string(operation) + "(" + Describe(o) + (detail.empty() ? "" : "," + detail) + ")");
  }
};

class FormConversion : public ::testing::Test {
 protected:
  template <typename T>
  T& Add(const char* name, TComponent* owner = nullptr) {
    T& component = TComponent::Create<T>(owner != nullptr ? *owner : form);
    component.SetName(name);
    return component;
  }
  /// Journal entries that begin with prefix, in order.
  std::vector<std::string> Entries(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& e : converter.journal) {
      if (e.rfind(prefix, 0) == 0) found.push_back(e);
    }
    return found;
  }
  TForm form{nullptr};
  JournalConverter converter;
};

TEST_F(FormConversion, GeneralTreatmentRunsItsFourCallsInOrderAndConvertsTextAndFont) {
  form.SetName("form");
  auto& label = Add<TLabel>("label");
  label.SetCaption("cap");
  label.Font().SetName("Arial");
  converter.TurnComponent(label, kToSimplified, false);
  EXPECT_EQ(converter.journal, (std::vector<std::string>{
                                   "TurnComponent(label)",
                                   "TurnFontAndText(label,Caption,Font)",
                                   "TurnFont(label,Font)",
                                   "TurnStrProp(label,Caption)",
                                   "TurnFontAndText(label,Text,Font)",
                                   "TurnFont(label,Font)",
                                   "TurnStrProp(label,Text)",
                                   "TurnStringsProp(label,Items)",
                                   "TurnStringsProp(label,Lines)",
                               }));
  EXPECT_EQ(label.Caption(), "<cap>");
  EXPECT_EQ(label.Font().Name(), kSCFace);
  EXPECT_EQ(label.Font().Charset(), kGB2312Charset);
}

TEST_F(FormConversion, DispatchTakesTheFirstMatchingClassWithDataLabelsBeforeLabels) {
  class TMyRzDBLabel : public TRzDBLabel {
   public:
    using TRzDBLabel::TRzDBLabel;
  };
  Add<TDBGrid>("dbgrid");
  Add<TdxDBGrid>("dxgrid");
  Add<TdxTreeList>("tree");
  Add<TRzComboBox>("rzcombo");
  Add<TRzDBLabel>("rzdblabel");
  Add<TMyRzDBLabel>("derived");  // descends (its class info is TRzDBLabel's)
  Add<TRzLabel>("rzlabel");
  Add<TRzPanel>("rzpanel");
  Add<TLabel>("label");
  form.SetName("form");
  converter.TurnComponent(form, kToSimplified, false);
  std::vector<std::string> handlers;
  for (const std::string& e : converter.journal) {
    if (e.rfind("TurnComponent(", 0) != 0 && e.rfind("TurnFont", 0) != 0 && e.rfind("TurnStr", 0) != 0) {
      handlers.push_back(e);
    }
  }
  EXPECT_EQ(handlers, (std::vector<std::string>{"TurnDBGrid(dbgrid)", "TurnDxDBGrid(dxgrid)", "TurnDxTreeList(tree)",
                                                "TurnRzComboBox(rzcombo)", "TurnRzDBLabel(rzdblabel)",
                                                "TurnRzDBLabel(derived)", "TurnRzLabel(rzlabel)",
                                                "TurnRzPanel(rzpanel)"}));
  EXPECT_EQ(Entries("TurnComponent(").size(), 10u) << "each component once, the form included";
}

TEST_F(FormConversion, HandledTakesASubtreeOutWhileSiblingsConvertAndTheTopIsNeverAsked) {
  auto& panel = Add<TPanel>("panel");
  panel.SetCaption("p");
  auto& inner = Add<TLabel>("inner", &panel);
  inner.SetCaption("i");
  auto& sibling = Add<TLabel>("sibling");
  sibling.SetCaption("s");
  std::vector<std::string> asked;
  converter.SetOnTurnEvent([&](TObject& sender, TComponent& comp, bool& handled, TWinPerTurnType type, bool phrase) {
    EXPECT_EQ(&sender, &converter);
    EXPECT_FALSE(handled);
    EXPECT_EQ(type, kToTraditional);
    EXPECT_TRUE(phrase);
    asked.push_back(comp.Name());
    handled = comp.Name() == "panel";
  });
  form.SetCaption("f");
  converter.TurnComponent(form, kToTraditional, true);
  EXPECT_EQ(asked, (std::vector<std::string>{"panel", "sibling"}));
  EXPECT_EQ(form.Caption(), "<f>");
  EXPECT_EQ(panel.Caption(), "p");
  EXPECT_EQ(inner.Caption(), "i");
  EXPECT_EQ(sibling.Caption(), "<s>");
}

TEST_F(FormConversion, AnErrorStopsTheWalkWhereItIs) {
  auto& first = Add<TLabel>("first");
  first.SetCaption("one");
  auto& failing = Add<TLabel>("failing");
  failing.SetCaption("boom");
  failing.Font().SetName("Arial");
  auto& last = Add<TLabel>("last");
  last.SetCaption("three");
  converter.failOn = "boom";
  EXPECT_THROW(converter.TurnComponent(form, kToSimplified, false), Exception);
  EXPECT_EQ(first.Caption(), "<one>");
  EXPECT_EQ(failing.Caption(), "boom");
  EXPECT_EQ(failing.Font().Name(), kSCFace) << "its font came before its text";
  EXPECT_EQ(last.Caption(), "three");
  EXPECT_EQ(last.Font().Charset(), kDefaultCharset);
}

// ---- the property test and the string lists ---------------------------------

class TOddProperties : public TComponent {
  QL_DECLARE_CLASS()
 public:
  using TComponent::TComponent;
  [[nodiscard]] TValue Caption() const { return m_caption; }
  void SetCaption(const TValue& value) { m_caption = value; }
  [[nodiscard]] const std::string& Text() const noexcept { return m_text; }
  [[nodiscard]] TStringList& Items() const noexcept { return *m_items; }
  [[nodiscard]] TStringList& Lines() const noexcept { return *m_lines; }
  [[nodiscard]] TFont* Font() const noexcept { return nullptr; }

  TValue m_caption;
  std::string m_text = "read-only";
  std::unique_ptr<TStringList> m_items = std::make_unique<TStringList>();
  std::unique_ptr<TStringList> m_lines = std::make_unique<TStringList>();
};
constexpr TPropertyInfo kOddProperties[] = {
    props::Variant<TOddProperties, &TOddProperties::Caption, &TOddProperties::SetCaption>("Caption"),
    props::Text<TOddProperties, &TOddProperties::Text>("Text"),
    props::Owned<TOddProperties, TStringList, &TOddProperties::Items>("Items"),  // declared as a descendant
    props::Owned<TOddProperties, TStrings, &TOddProperties::Lines>("Lines"),
    props::Object<TOddProperties, TFont, &TOddProperties::Font>("Font"),  // holds none
};
QL_DEFINE_CLASS(TOddProperties, TComponent, kOddProperties)

TEST_F(FormConversion, WhatFailsThePropertyTestOrHasAnotherKindIsSkippedSilently) {
  auto& odd = Add<TOddProperties>("odd");
  odd.Items().Add("item");
  odd.Lines().Add("line");
  odd.Lines().Add("  ");
  converter.TurnComponent(odd, kToSimplified, false);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(odd.m_caption)) << "a null variant fails the test";
  EXPECT_EQ(odd.m_text, "read-only");
  EXPECT_EQ(odd.Items().Get(0), "item") << "declared TStringList, not TStrings";
  EXPECT_EQ(odd.Lines().Get(0), "<line>");
  EXPECT_EQ(odd.Lines().Get(1), "") << "a blank line comes back empty";

  odd.m_caption = std::int64_t{7};  // passes the test, but is no string
  converter.TurnComponent(odd, kToSimplified, false);
  EXPECT_EQ(odd.m_caption, TValue(std::int64_t{7}));

  TComponent bare(nullptr);
  TDataSource source(nullptr);
  EXPECT_NO_THROW(converter.TurnComponent(bare, kToSimplified, true));
  EXPECT_NO_THROW(converter.TurnComponent(source, kToSimplified, true));
}

// Counts what TurnStringsProp asks of a list.
class TCountingStrings final : public TStrings {
  QL_DECLARE_CLASS()
 public:
  int Count() const override {
    ++countCalls;
    return static_cast<int>(lines.size());
  }
  std::string Get(int index) const override { return lines.at(static_cast<std::size_t>(index)); }
  void Put(int index, const std::string& line) override { lines.at(static_cast<std::size_t>(index)) = line; }
  void Insert(int index, const std::string& line) override { lines.insert(lines.begin() + index, line); }
  void Delete(int index) override { lines.erase(lines.begin() + index); }
  void Clear() override { lines.clear(); }
  std::vector<std::string> lines;
  mutable int countCalls = 0;
  int brackets = 0;

 protected:
  void SetUpdateState(bool updating) override { brackets += updating ? 1 : 0; }
};
QL_DEFINE_CLASS(TCountingStrings, TStrings, {})

class TListHolder : public TComponent {
  QL_DECLARE_CLASS()
 public:
  using TComponent::TComponent;
  [[nodiscard]] TCountingStrings& Items() const noexcept { return *m_items; }
  std::unique_ptr<TCountingStrings> m_items = std::make_unique<TCountingStrings>();
};
constexpr TPropertyInfo kListHolderProperties[] = {
    props::Owned<TListHolder, TStrings, &TListHolder::Items>("Items"),
};
QL_DEFINE_CLASS(TListHolder, TComponent, kListHolderProperties)

TEST_F(FormConversion, StringListsAreCountedOnceAndConvertedInPlaceWithoutABracket) {
  TListHolder holder(nullptr);
  holder.Items().lines = {"a", "b", "c"};
  converter.TurnStringsProp(holder, "Items", kToSimplified, false);
  EXPECT_EQ(holder.Items().lines, (std::vector<std::string>{"<a>", "<b>", "<c>"}));
  EXPECT_EQ(holder.Items().countCalls, 1);
  EXPECT_EQ(holder.Items().brackets, 0);
}

// ---- fonts ------------------------------------------------------------------

TEST_F(FormConversion, FontsTakeTheTargetFaceAndCharacterSetAndVerticalFontsStayVertical) {
  struct Case {
    const char* face;
    int type;
    std::string expectedFace;
    std::uint8_t expectedCharset;
  };
  const Case cases[] = {
      {"@\xB2\xD3\xA9\xFA\xC5\xE9", 0, "@" + kSCFace, kGB2312Charset},
      {"Arial", 0, kSCFace, kGB2312Charset},
      {"Arial", 1, kTCFace, kChineseBig5Charset},
      {"@SimSun", 5, "@" + kTCFace, kChineseBig5Charset},  // any other direction: Traditional
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    TLabel label(nullptr);
    label.Font().SetName(c.face);
    for (int round = 0; round < 2; ++round) {  // twice gives the same font
      converter.TurnFont(label, "Font", static_cast<TWinPerTurnType>(c.type));
      EXPECT_EQ(label.Font().Name(), c.expectedFace);
      EXPECT_EQ(label.Font().Charset(), c.expectedCharset);
    }
  }
  TLabel label(nullptr);
  label.SetCaption("same");
  TestPlatform().conversions.clear();
  converter.TurnComponent(label, static_cast<TWinPerTurnType>(5), true);
  EXPECT_EQ(label.Caption(), "<same>") << "through TurnText, unchanged";
  EXPECT_TRUE(TestPlatform().conversions.empty()) << "direction 5 converts no text";
  EXPECT_EQ(label.Font().Charset(), kChineseBig5Charset);
}

// ---- class handlers -----------------------------------------------------------

TEST_F(FormConversion, RzComboBoxKeepsItsSelectionWhereAPlainComboBoxLosesIt) {
  auto& rz = Add<TRzComboBox>("rz");
  auto& plain = Add<TComboBox>("plain");
  for (TCustomComboBox* box : {static_cast<TCustomComboBox*>(&rz), static_cast<TCustomComboBox*>(&plain)}) {
    for (const char* line : {"a", "b", "c"}) box->Items().Add(line);
    box->SetItemIndex(2);
  }
  converter.TurnComponent(form, kToSimplified, false);
  EXPECT_EQ(rz.ItemIndex(), 2);
  EXPECT_EQ(rz.Text(), "<c>");
  EXPECT_EQ(rz.Items().Get(0), "<a>");
  EXPECT_EQ(plain.ItemIndex(), -1);
  EXPECT_EQ(plain.Text(), "<c>") << "its text was converted before its lines";
}

TEST_F(FormConversion, RzLabelsAndPanelsLoseTheirBlanksInEveryDirectionOthersKeepThem) {
  // 軟 (B3 6E), ideographic space (A1 40), a space, 體 (C5 E9); then A1 40
  // where A1 is the second byte of B2 A1, which is no ideographic space.
  const std::string caption = "\xB3\x6E\xA1\x40 \xC5\xE9 \xB2\xA1\x40";
  for (const int type : {0, 1, 2}) {
    SCOPED_TRACE(type);
    TForm owner(nullptr);
    auto& rzLabel = TComponent::Create<TRzLabel>(owner);
    auto& rzPanel = TComponent::Create<TRzPanel>(owner);
    auto& label = TComponent::Create<TLabel>(owner);
    auto& blank = TComponent::Create<TLabel>(owner);
    for (TControl* c : {static_cast<TControl*>(&rzLabel), static_cast<TControl*>(&rzPanel), static_cast<TControl*>(&label)}) {
      c->SetCaption(caption);
    }
    blank.SetCaption(" \xA1\x40 ");
    converter.TurnComponent(owner, static_cast<TWinPerTurnType>(type), false);
    const std::string stripped = "\xB3\x6E\xC5\xE9\xB2\xA1\x40";
    EXPECT_EQ(rzLabel.Caption(), "<" + stripped + ">");
    EXPECT_EQ(rzPanel.Caption(), "<" + stripped + ">");
    EXPECT_EQ(label.Caption(), "<" + caption + ">");
    EXPECT_EQ(blank.Caption(), "< \xA1\x40 >") << "a TLabel keeps its blanks";
  }
  TLabel onlyBlanks(nullptr);
  onlyBlanks.SetCaption("   ");
  converter.TurnComponent(onlyBlanks, kToSimplified, false);
  EXPECT_EQ(onlyBlanks.Caption(), "");
}

TEST_F(FormConversion, DataLabelsOnlySwitchTheirFontTheirTextComesFromTheData) {
  auto& data = Add<TDataSet>("data");
  data.AddFieldDef("Name", TFieldType::ftString);
  data.Open();
  data.AppendRecord({"value"});
  auto& source = Add<TDataSource>("source");
  source.SetDataSet(&data);
  auto& label = Add<TRzDBLabel>("label");
  label.SetDataSource(&source);
  label.SetDataField("Name");
  EXPECT_EQ(label.Caption(), "value");
  converter.TurnComponent(label, kToSimplified, true);
  EXPECT_EQ(converter.journal, (std::vector<std::string>{"TurnComponent(label)", "TurnRzDBLabel(label)",
                                                         "TurnFont(label,Font)"}));
  EXPECT_EQ(label.Caption(), "value");
  EXPECT_EQ(label.Font().Name(), kSCFace);
}

TEST_F(FormConversion, GridsConvertTitlesBandsAndFootersButNoColumnCaption) {
  auto& grid = Add<TDBGrid>("grid");
  TColumn& column = grid.Columns().Add();
  column.Title().SetCaption("title");
  auto& dx = Add<TdxDBGrid>("dx");
  dx.Bands().Add().SetCaption("band");
  TdxDBGridColumn& dxColumn = dx.Columns().Add();
  dxColumn.SetCaption("caption");
  dxColumn.SetSummaryFooterFormat("sum");
  dx.Columns().Add().SetSummaryFooterFormat("  ");
  auto& tree = Add<TdxTreeList>("tree");
  tree.Bands().Add().SetCaption("tree band");
  converter.TurnComponent(form, kToSimplified, false);

  EXPECT_EQ(column.Title().Caption(), "<title>");
  EXPECT_EQ(column.Title().Font().Name(), kSCFace);
  EXPECT_EQ(grid.Font().Charset(), kGB2312Charset);
  EXPECT_EQ(dx.Bands().Items(0).Caption(), "<band>");
  EXPECT_EQ(dxColumn.Caption(), "caption");
  EXPECT_EQ(dxColumn.SummaryFooterFormat(), "<sum>");
  EXPECT_EQ(dx.Columns().Items(1).SummaryFooterFormat(), "") << "a blank format becomes empty";
  for (TFont* font : {&dx.BandFont(), &dx.HeaderFont(), &dx.PreviewFont(), &tree.PreviewFont(), &dx.Font()}) {
    EXPECT_EQ(font->Charset(), kGB2312Charset);
  }
  EXPECT_EQ(tree.Bands().Items(0).Caption(), "<tree band>");
  EXPECT_EQ(Entries("TurnFont(grid,"), (std::vector<std::string>{"TurnFont(grid,Font)", "TurnFont(grid,Font)"}))
      << "the font alone, then again with the (missing) caption";
  EXPECT_EQ(Entries("TurnFontAndText(TdxTreeListBand").size(), 2u);
}

// ---- datasets -----------------------------------------------------------------

class DataSetConversion : public FormConversion {
 protected:
  void SetUp() override {
    data.AddFieldDef("Name", TFieldType::ftString);
    data.AddFieldDef("Qty", TFieldType::ftInteger);
    data.AddFieldDef("Note", TFieldType::ftMemo);
    data.AddFieldDef("Raw", TFieldType::ftBlob);
    data.AddFieldDef("Wide", TFieldType::ftWideString);
    data.Open();
    data.AppendRecord({"pen", "3", "n1", "r1", "w1"});
    data.AppendRecord({std::nullopt, "4", "boom", std::nullopt, "w2"});
    data.AppendRecord({"ink", std::nullopt, "n3", "r3", "w3"});
    for (int i = 0; i < data.FieldCount(); ++i) data.Fields(i).OnChange = [this](TField& f) { writes.push_back(f.FieldName()); };
    data.AfterEdit = [this](TDataSet&) { ++edits; };
    data.AfterPost = [this](TDataSet&) { ++posts; };
  }
  std::vector<std::string> Column(const char* field) {
    std::vector<std::string> values;
    const int index = data.FieldDefIndex(field);
    for (int r = 0; r < data.RecordCount(); ++r) values.push_back(data.Value(r, index).value_or("(null)"));
    return values;
  }
  TDataSet& data = TComponent::Create<TDataSet>(form);
  std::vector<std::string> writes;
  int edits = 0;
  int posts = 0;
};

TEST_F(DataSetConversion, EveryRecordIsEditedAndPostedOnlyTextFieldsWithTextAreWritten) {
  converter.TurnDataSet(data, kToSimplified, false);
  EXPECT_EQ(edits, 3);
  EXPECT_EQ(posts, 3);
  EXPECT_EQ(Column("Name"), (std::vector<std::string>{"<pen>", "(null)", "<ink>"}));
  EXPECT_EQ(Column("Note"), (std::vector<std::string>{"<n1>", "<boom>", "<n3>"}));
  EXPECT_EQ(Column("Raw"), (std::vector<std::string>{"<r1>", "(null)", "<r3>"}));
  EXPECT_EQ(Column("Qty"), (std::vector<std::string>{"3", "4", "(null)"}));
  EXPECT_EQ(Column("Wide"), (std::vector<std::string>{"w1", "w2", "w3"}));
  EXPECT_EQ(writes, (std::vector<std::string>{"Name", "Note", "Raw", "Note", "Name", "Note", "Raw"}));
  EXPECT_FALSE(data.ControlsDisabled());

  data.Close();
  converter.TurnDataSet(data, kToSimplified, false);
  EXPECT_TRUE(data.Active()) << "a dataset closed on entry is left open";
  EXPECT_EQ(posts, 6);
}

TEST_F(DataSetConversion, ControlsStateIsRestoredBothWaysAlsoWhenAnErrorStopsTheLoop) {
  data.DisableControls();
  converter.TurnDataSet(data, kToSimplified, false);
  EXPECT_TRUE(data.ControlsDisabled()) << "disabled by the caller, still disabled";
  data.EnableControls();
  EXPECT_FALSE(data.ControlsDisabled());

  converter.failOn = "<boom>";
  EXPECT_THROW(converter.TurnDataSet(data, kToSimplified, false), Exception);
  EXPECT_FALSE(data.ControlsDisabled()) << "enabled on entry, enabled again";
  EXPECT_EQ(data.State(), TDataSetState::dsEdit) << "the failing record stays in edit mode";
  EXPECT_EQ(data.RecNo(), 2);
  EXPECT_EQ(Column("Name")[0], "<<pen>>") << "posted records stay converted";
  EXPECT_EQ(Column("Name")[2], "<ink>");
}

}  // namespace
}  // namespace quorlane
