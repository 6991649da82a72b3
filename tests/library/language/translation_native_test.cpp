// The form translation natively, under the sanitizers: language files in
// memory (native_platform.cpp) and windows in the recording widget set. The
// Wine tests (form_translation_test.cpp) check real files and windows; these
// check object lifetimes and what an error leaves behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_widgetset.h"
#include "framework/Classes.h"
#include "language/UIMultiLanguage.h"
#include "native_platform.h"

namespace quorlane {
namespace {

constexpr char kFolder[] = "C:\\Languages\\";

class ShowCounter : public TComponent {
 public:
  using TComponent::TComponent;
  void FormShow(TObject&) { ++calls; }
  int calls = 0;
};

class NativeTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    Files() = {};
    CurrentLanguageKind() = TLanguageKind::lkChineseTradionary;
    language.SetLanguagePath(kFolder);
    TLanguageItem& item = language.Languages().Add();
    item.SetKind(TLanguageKind::lkChineseTradionary);
    item.SetIsDefault(true);
    language.Languages().Add().SetKind(TLanguageKind::lkEnglish);
  }
  void TearDown() override {
    form.reset();
    Files() = {};
    CurrentLanguagePath() = "<Bin>Languages";
    CurrentLanguageKind() = TLanguageKind::lkChineseSimplify;
  }
  template <typename T>
  T& Place(const char* name) {
    T& control = TComponent::Create<T>(*form);
    control.SetName(name);
    control.SetParent(form.get());
    return control;
  }
  testing::FakeWidgetSet widgets;  // outlives the form
  std::unique_ptr<TForm> form = std::make_unique<TForm>(nullptr);
  TUIMultiLanguage language{nullptr};
};

TEST_F(NativeTranslation, GeneratedKeysComeInTheWalksOrderAndApplyInsideOneBracketEach) {
  auto& tree = Place<TTreeView>("Tree");
  tree.Items().AddChild(&tree.Items().AddChild(nullptr, "a"), "a1");
  auto& view = Place<TListView>("View");
  view.Columns().Add().SetCaption("c");
  TListItem& item = view.Items().Add();
  item.SetCaption("i");
  item.SubItems().Add("s");
  auto& list = Place<TListBox>("List");
  list.Items().Add("l");
  (void)form->Handle();
  language.TranslateForms();
  const MemoryFiles::File expected = {{"TForm.Caption", ""},       {"Tree.Items[0]", "a"},
                                      {"Tree.Items[1]", "a1"},     {"View.Columns[0]", "c"},
                                      {"View.Items[0]", "i"},      {"View.Items[0].SubItems[0]", "s"},
                                      {"List.Items[0]", "l"}};
  EXPECT_EQ(Files().files[std::string(kFolder) + "cht\\TForm.ini"], expected);
  EXPECT_EQ(Files().files[std::string(kFolder) + "eng\\TForm.ini"], expected);
  EXPECT_EQ(Files().folders, (std::vector<std::string>{std::string(kFolder) + "cht\\", std::string(kFolder) + "eng\\"}));

  auto& english = Files().files[std::string(kFolder) + "eng\\TForm.ini"];
  for (auto& [key, value] : english) value = "E" + value;
  widgets.ResetCalls();
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  EXPECT_EQ(widgets.Window(tree.Handle()).treeItems[1].text, "Ea1");
  EXPECT_EQ(widgets.Window(view.Handle()).rows[0], (std::vector<std::string>{"Ei"}));
  EXPECT_EQ(widgets.Window(view.Handle()).columns[0], "Ec");
  EXPECT_EQ(widgets.Window(list.Handle()).lines[0], "El");
  EXPECT_EQ(widgets.Calls("SetRedraw"), 6) << "off and on once for the tree, the list view's items and the list";
  EXPECT_EQ(widgets.Calls("ColumnSetTitle"), 1) << "a column's caption is sent alone";
  EXPECT_EQ(widgets.posted.size(), 2u);
}

// What was translated before an error stays; every bracket is closed and
// OnAfterTranslate is not called.
TEST_F(NativeTranslation, AnErrorLeavesTheBracketsClosed) {
  auto& tree = Place<TTreeView>("Tree");
  tree.Items().AddChild(nullptr, "a");
  tree.Items().AddChild(nullptr, "b");
  (void)form->Handle();
  Files().files[std::string(kFolder) + "cht\\TForm.ini"] = {{"Tree.Items[0]", "A"}};
  Files().failingKey = "Tree.Items[1]";
  bool after = false;
  language.OnAfterTranslate = [&](TUIMultiLanguage&) { after = true; };
  EXPECT_THROW(language.TranslateForms(), Exception);
  EXPECT_EQ(tree.Items().Item(0).Text(), "A");
  EXPECT_EQ(tree.Items().UpdateCount(), 0);
  EXPECT_TRUE(widgets.Window(tree.Handle()).redraw);
  EXPECT_FALSE(after);
}

// Under the sanitizers a call into a freed component would be reported.
TEST_F(NativeTranslation, NoShowHandlerOutlivesItsComponent) {
  auto& counter = TComponent::Create<ShowCounter>(*form);
  form->SetOnShow(TNotifyEvent::Of<&ShowCounter::FormShow>(counter));
  auto& inner = TComponent::Create<TUIMultiLanguage>(*form);
  inner.SetHookOnShow(true);
  auto& outer = TComponent::Create<TUIMultiLanguage>(*form);
  outer.SetHookOnShow(true);
  form->RemoveComponent(outer).reset();  // puts inner's hook back
  form->Show();
  EXPECT_EQ(counter.calls, 1);
  form->Hide();
  auto& last = TComponent::Create<TUIMultiLanguage>(*form);
  last.SetHookOnShow(true);  // saves inner's hook
  form->RemoveComponent(inner).reset();
  form->Show();
  EXPECT_EQ(counter.calls, 1) << "the saved hook went with its component";
  form.reset();  // frees the hooked components with their form
}

}  // namespace
}  // namespace quorlane
