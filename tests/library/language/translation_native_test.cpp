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

// Hooks stack on the form's show handler, each saving the one before. Taken
// out in any order, by clearing HookOnShow or by freeing the component,
// they leave exactly the host's handler, which runs once at every showing
// in between. Under the sanitizers a call into a freed component would be
// reported.
TEST_F(NativeTranslation, HooksTakenOutInAnyOrderLeaveTheHostsHandler) {
  const int orders[][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& order : orders) {
    for (const bool byFreeing : {false, true}) {
      form = std::make_unique<TForm>(nullptr);
      auto& counter = TComponent::Create<ShowCounter>(*form);
      const TNotifyEvent host = TNotifyEvent::Of<&ShowCounter::FormShow>(counter);
      form->SetOnShow(host);
      TUIMultiLanguage* hooks[3];
      for (TUIMultiLanguage*& hook : hooks) {
        hook = &TComponent::Create<TUIMultiLanguage>(*form);
        hook->SetHookOnShow(true);
      }
      int shown = 0;
      for (const int index : order) {
        if (byFreeing) {
          form->RemoveComponent(*hooks[index]).reset();
        } else {
          hooks[index]->SetHookOnShow(false);
        }
        form->Show();
        form->Hide();
        EXPECT_EQ(counter.calls, ++shown) << "after taking out hook " << index << (byFreeing ? " by freeing" : "");
      }
      EXPECT_EQ(form->OnShow(), host) << order[0] << order[1] << order[2] << (byFreeing ? " by freeing" : "");
    }
  }
  form.reset();
}

// A hook whose saved handler belongs to a component that goes drops it: the
// form never calls into a freed component.
TEST_F(NativeTranslation, AHandlerWhoseComponentIsFreedIsDropped) {
  auto counter = std::make_unique<ShowCounter>(nullptr);
  form->SetOnShow(TNotifyEvent::Of<&ShowCounter::FormShow>(*counter));
  auto& hook = TComponent::Create<TUIMultiLanguage>(*form);
  hook.SetHookOnShow(true);
  counter.reset();
  form->Show();
  hook.SetHookOnShow(false);
  EXPECT_FALSE(form->OnShow());
  form.reset();
}

// An owned form is an owned component: its caption goes under its name,
// and the owner's "<class>.Caption" is written from the owner alone.
TEST_F(NativeTranslation, AnOwnedFormsCaptionGoesUnderItsName) {
  form->SetCaption("owner");
  auto& owned = TComponent::Create<TForm>(*form);
  owned.SetName("Details");
  owned.SetCaption("details");
  const std::string english = std::string(kFolder) + "eng\\TForm.ini";
  Files().files[english] = {{"TForm.Caption", "Owner"}};
  language.GenerateLanguageFiles(*form);
  const MemoryFiles::File expected = {{"TForm.Caption", "owner"}, {"Details", "details"}};
  EXPECT_EQ(Files().files[std::string(kFolder) + "cht\\TForm.ini"], expected);
  EXPECT_EQ(Files().files[english], (MemoryFiles::File{{"TForm.Caption", "Owner"}, {"Details", "details"}}))
      << "the translator's caption of the owner stays";
  Files().files[english] = {{"TForm.Caption", "Owner"}, {"Details", "Details"}};
  language.SetAutoTranslate(false);  // the owned form, of the same class, is not translated on its own
  language.SetLanguageKind(TLanguageKind::lkEnglish);
  language.TranslateComponent(*form);
  EXPECT_EQ(form->Caption(), "Owner");
  EXPECT_EQ(owned.Caption(), "Details");
  form.reset();
}

}  // namespace
}  // namespace quorlane
