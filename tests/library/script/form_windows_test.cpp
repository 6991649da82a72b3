// The form conversion under Wine with the real text conversion, and what
// real windows show afterwards: their text, their font's face and character
// set (WM_GETFONT, GetObject), list lines, selections and list-view columns.
// Each suite runs in the system locale it needs (see CMakeLists.txt).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/Classes.h"
#include "script/WinPerTurn.h"

namespace quorlane {
namespace {

// 本次軟體更新 in Big5, and what the converter makes of it in GBK: the
// characters mapped, and 軟體 → 软件 by the word table.
constexpr char kBig5Text[] = "\xA5\xBB\xA6\xB8\xB3\x6E\xC5\xE9\xA7\xF3\xB7\x73";
constexpr char kGbkText[] = "\xB1\xBE\xB4\xCE\xC8\xED\xBC\xFE\xB8\xFC\xD0\xC2";
// 資料 in Big5 and GBK (character mapping only).
constexpr char kBig5Data[] = "\xB8\xEA\xAE\xC6";
constexpr char kGbkData[] = "\xD7\xCA\xC1\xCF";
const std::string kSCFace = TWinPerTurn::kDefaultSCFont;
const std::string kTCFace = TWinPerTurn::kDefaultTCFont;

HWND Window(TWinControl& control) { return reinterpret_cast<HWND>(control.Handle()); }

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  EXPECT_NE(handle, nullptr);
  EXPECT_EQ(GetObjectA(handle, sizeof font, &font), static_cast<int>(sizeof font));
  return font;
}

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ListLine(HWND list, int index) {
  char line[256] = {};
  SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(line));
  return line;
}

std::string ColumnTitle(HWND view, int index) {
  char title[256] = {};
  LVCOLUMNA column{};
  column.mask = LVCF_TEXT;
  column.pszText = title;
  column.cchTextMax = sizeof title;
  SendMessageA(view, LVM_GETCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
  return title;
}

std::string Cell(HWND view, int row, int column) {
  char text[256] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(view, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

class Converted : public ::testing::Test {
 protected:
  template <typename T>
  T& Place(const char* caption) {
    T& control = TComponent::Create<T>(*form);
    control.SetParent(form.get());
    if (caption != nullptr) control.SetText(caption);
    return control;
  }
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
  TWinPerTurn converter;
};

// On any system: the conversion uses code pages 950 and 936 explicitly.
using ObjectsOnly = Converted;

TEST_F(ObjectsOnly, Big5LabelBecomesGbkWithTheSimplifiedFaceAndCharacterSet) {
  auto& label = Place<TLabel>(kBig5Text);
  label.Font().SetName("@" + kTCFace);
  auto& latin = Place<TLabel>("Latin");
  latin.Font().SetName("Arial");
  converter.TurnComponent(*form, TWinPerTurnType::wttTCToSC, true);
  EXPECT_EQ(label.Caption(), kGbkText);
  EXPECT_EQ(label.Font().Name(), "@" + kSCFace);
  EXPECT_EQ(label.Font().Charset(), 134);
  EXPECT_EQ(latin.Caption(), "Latin");
  EXPECT_EQ(latin.Font().Name(), kSCFace);

  converter.TurnComponent(*form, static_cast<TWinPerTurnType>(5), true);
  EXPECT_EQ(label.Caption(), kGbkText) << "direction 5 leaves texts";
  EXPECT_EQ(label.Font().Name(), "@" + kTCFace);
  EXPECT_EQ(label.Font().Charset(), 136);
}

// The blank search reads the text as the process's ANSI code page does: in
// 950 and 936, A1 40 after the lead byte B2 is the second half of a
// character and stays; in 1252 it is a pair of its own and goes.
TEST_F(ObjectsOnly, RzLabelBlanksAreFoundAsTheAnsiCodePageReadsTheText) {
  auto& rz = Place<TRzLabel>("\xA5\xBB\xA1\x40 \xA6\xB8 \xB2\xA1\x40");
  auto& plain = Place<TLabel>("\xA5\xBB\xA1\x40 \xA6\xB8");
  converter.TurnComponent(*form, static_cast<TWinPerTurnType>(2), true);
  const bool doubleByte = GetACP() == 950 || GetACP() == 936;
  EXPECT_EQ(rz.Caption(), doubleByte ? "\xA5\xBB\xA6\xB8\xB2\xA1\x40" : "\xA5\xBB\xA6\xB8\xB2");
  EXPECT_EQ(plain.Caption(), "\xA5\xBB\xA1\x40 \xA6\xB8");
}

TEST_F(ObjectsOnly, EditTextAndMemoLinesConvertBothWays) {
  auto& edit = Place<TEdit>(kBig5Data);
  auto& memo = Place<TMemo>(nullptr);
  memo.Lines().Add(kBig5Data);
  memo.Lines().Add(" ");
  converter.TurnComponent(*form, TWinPerTurnType::wttTCToSC, false);
  EXPECT_EQ(edit.Text(), kGbkData);
  EXPECT_EQ(memo.Lines().Get(0), kGbkData);
  EXPECT_EQ(memo.Lines().Get(1), "");
  converter.TurnComponent(*form, TWinPerTurnType::wttSCToTC, false);
  EXPECT_EQ(edit.Text(), kBig5Data);
}

// On a Simplified system (936) the GBK result is what the windows show.
using OnSimplifiedSystem = Converted;

TEST_F(OnSimplifiedSystem, WindowsShowTheConvertedTextsFontsLinesAndSelection) {
  ASSERT_EQ(GetACP(), 936u);
  auto& label = Place<TLabel>(kBig5Text);
  auto& panel = Place<TRzPanel>("\xB8\xEA \xAE\xC6");
  auto& list = Place<TListBox>(nullptr);
  auto& combo = Place<TRzComboBox>(nullptr);
  for (TCustomListControl* box : {static_cast<TCustomListControl*>(&list), static_cast<TCustomListControl*>(&combo)}) {
    for (const char* line : {"a", kBig5Data, kBig5Text}) box->Items().Add(line);
    box->SetItemIndex(2);
  }
  auto& grid = Place<TDBGrid>(nullptr);
  grid.Columns().Add().Title().SetCaption(kBig5Data);
  grid.Columns().Add().Title().SetCaption("Qty");
  form->Show();

  converter.TurnComponent(*form, TWinPerTurnType::wttTCToSC, true);
  wchar_t wide[64] = {};
  GetWindowTextW(Window(label), wide, 64);
  EXPECT_EQ(std::wstring(wide), L"\u672C\u6B21\u8F6F\u4EF6\u66F4\u65B0");  // 本次软件更新
  LOGFONTA font = FontOf(Window(label));
  EXPECT_EQ(std::string(font.lfFaceName), kSCFace);
  EXPECT_EQ(font.lfCharSet, kGB2312Charset);
  EXPECT_EQ(TextOf(Window(panel)), kGbkData);
  EXPECT_EQ(FontOf(Window(panel)).lfCharSet, kGB2312Charset);
  EXPECT_EQ(ListLine(Window(list), 1), kGbkData);
  EXPECT_EQ(ListLine(Window(list), 2), kGbkText);
  EXPECT_EQ(SendMessageA(Window(list), LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(Window(combo), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(TextOf(Window(combo)), kGbkText);
  EXPECT_EQ(ColumnTitle(Window(grid), 0), kGbkData);
  EXPECT_EQ(ColumnTitle(Window(grid), 1), "Qty");
  HWND header = reinterpret_cast<HWND>(SendMessageA(Window(grid), LVM_GETHEADER, 0, 0));
  EXPECT_EQ(FontOf(header).lfCharSet, kGB2312Charset);
}

TEST_F(OnSimplifiedSystem, AGridShowsTheConvertedRecordsAndEditsComeBackFromTheWindow) {
  ASSERT_EQ(GetACP(), 936u);
  auto& data = TComponent::Create<TDataSet>(*form);
  data.AddFieldDef("Name", TFieldType::ftString);
  data.AddFieldDef("Qty", TFieldType::ftInteger);
  data.Open();
  data.AppendRecord({kBig5Data, "1"});
  data.AppendRecord({kBig5Text, "2"});
  auto& source = TComponent::Create<TDataSource>(*form);
  source.SetDataSet(&data);
  auto& grid = Place<TDBGrid>(nullptr);
  for (const char* field : {"Name", "Qty"}) grid.Columns().Add().SetFieldName(field);
  grid.SetDataSource(&source);
  auto& edit = Place<TEdit>("old");
  (void)form->Handle();
  EXPECT_EQ(Cell(Window(grid), 1, 0), kBig5Text);

  converter.TurnDataSet(data, TWinPerTurnType::wttTCToSC, true);
  EXPECT_EQ(Cell(Window(grid), 0, 0), kGbkData);
  EXPECT_EQ(Cell(Window(grid), 1, 0), kGbkText);
  EXPECT_EQ(Cell(Window(grid), 1, 1), "2");

  // Typed into the window (WM_SETTEXT from outside sends EN_CHANGE, as typing does).
  SendMessageA(Window(edit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("typed"));
  EXPECT_EQ(edit.Text(), "typed");
  // A window destroyed from outside leaves its object without a handle.
  DestroyWindow(Window(*form));
  EXPECT_FALSE(edit.HandleAllocated());
  EXPECT_FALSE(form->HandleAllocated());
  EXPECT_EQ(edit.Text(), "typed");
}

// On a Traditional system (950): GBK back to Big5, in the Traditional face.
using OnTraditionalSystem = Converted;

TEST_F(OnTraditionalSystem, WindowsShowBig5TextInTheTraditionalFont) {
  ASSERT_EQ(GetACP(), 950u);
  auto& label = Place<TLabel>(kGbkData);
  auto& tree = Place<TdxTreeList>(nullptr);
  tree.Bands().Add().SetCaption(kGbkData);
  (void)form->Handle();
  converter.TurnComponent(*form, TWinPerTurnType::wttSCToTC, false);
  wchar_t wide[64] = {};
  GetWindowTextW(Window(label), wide, 64);
  EXPECT_EQ(std::wstring(wide), L"\u8CC7\u6599");  // 資料
  const LOGFONTA font = FontOf(Window(label));
  EXPECT_EQ(std::string(font.lfFaceName), kTCFace);
  EXPECT_EQ(font.lfCharSet, kChineseBig5Charset);
  EXPECT_EQ(ColumnTitle(Window(tree), 0), kBig5Data);
  HWND header = reinterpret_cast<HWND>(SendMessageA(Window(tree), LVM_GETHEADER, 0, 0));
  EXPECT_EQ(FontOf(header).lfCharSet, kChineseBig5Charset) << "BandFont heads a tree list";
}

}  // namespace
}  // namespace quorlane
