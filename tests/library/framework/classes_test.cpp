// The component model: ownership and its order, published properties by
// name, collections and string lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/graphics.h"

namespace quorlane {
namespace {

std::vector<std::string>* gFreed = nullptr;

class TProbe : public TComponent {
  QL_DECLARE_CLASS()
 public:
  enum class TMode : std::uint8_t { mdOff, mdOn };
  using TComponent::TComponent;
  ~TProbe() override {
    if (gFreed != nullptr) gFreed->push_back(Name());
  }
  [[nodiscard]] const std::string& Caption() const noexcept { return m_caption; }
  void SetCaption(const std::string& c) { m_caption = c; }
  [[nodiscard]] TMode Mode() const noexcept { return m_mode; }
  void SetMode(TMode m) noexcept { m_mode = m; }
  [[nodiscard]] bool Visible() const noexcept { return m_visible; }
  void SetVisible(bool v) noexcept { m_visible = v; }
  [[nodiscard]] TStringList& Items() const noexcept { return *m_items; }
  void SetItems(const TStrings* s) { s ? m_items->Assign(*s) : m_items->Clear(); }
  int loadedCalls = 0;

 protected:
  void Loaded() override { ++loadedCalls; }

 private:
  std::string m_caption;
  TMode m_mode = TMode::mdOff;
  bool m_visible = true;
  std::unique_ptr<TStringList> m_items = std::make_unique<TStringList>();
};

constexpr const char* kModeNames[] = {"mdOff", "mdOn"};
constexpr TPropertyInfo kProbeProperties[] = {
    props::Text<TProbe, &TProbe::Caption, &TProbe::SetCaption>("Caption"),
    props::Enumeration<TProbe, TProbe::TMode, &TProbe::Mode, &TProbe::SetMode>("Mode", kModeNames),
    props::Boolean<TProbe, &TProbe::Visible, &TProbe::SetVisible>("Visible"),
    props::Object<TProbe, TStrings, &TProbe::Items, &TProbe::SetItems>("Items"),
};
QL_DEFINE_CLASS(TProbe, TComponent, kProbeProperties)

TEST(ComponentOwnership, OwnerFreesOwnedComponentsLastCreatedFirstAndRecursively) {
  std::vector<std::string> freed;
  gFreed = &freed;
  {
    auto form = std::make_unique<TProbe>(nullptr);
    form->SetName("form");
    auto& a = TComponent::Create<TProbe>(*form);
    a.SetName("a");
    auto& b = TComponent::Create<TProbe>(*form);
    b.SetName("b");
    TComponent::Create<TProbe>(a).SetName("a1");
    ASSERT_EQ(form->ComponentCount(), 2);
    EXPECT_EQ(&form->Components(1), &b);
    EXPECT_EQ(b.Owner(), form.get());
    EXPECT_EQ(b.ComponentIndex(), 1);
  }
  gFreed = nullptr;
  EXPECT_EQ(freed, (std::vector<std::string>{"form", "b", "a", "a1"}));
}

TEST(ComponentOwnership, RemovedComponentIsNoLongerFreedByItsFormerOwner) {
  std::vector<std::string> freed;
  gFreed = &freed;
  std::unique_ptr<TComponent> kept;
  {
    TProbe form(nullptr);
    auto& a = TComponent::Create<TProbe>(form);
    a.SetName("a");
    kept = form.RemoveComponent(a);
    EXPECT_EQ(form.ComponentCount(), 0);
    EXPECT_EQ(kept->Owner(), nullptr);
  }
  EXPECT_TRUE(freed.size() == 1 && freed[0].empty());  // only the form itself
  kept.reset();
  gFreed = nullptr;
  EXPECT_EQ(freed.back(), "a");
}

TEST(ComponentOwnership, LoadingBracketReachesOwnedComponentsAndCallsLoadedOnce) {
  TProbe form(nullptr);
  auto& child = TComponent::Create<TProbe>(form);
  form.BeginLoading();
  EXPECT_TRUE(child.IsLoading());
  form.EndLoading();
  form.EndLoading();  // unbalanced: ignored
  EXPECT_FALSE(child.IsLoading());
  EXPECT_EQ(form.loadedCalls, 1);
  EXPECT_EQ(child.loadedCalls, 1);
  EXPECT_FALSE(form.IsDesigning());
}

TEST(ClassIdentity, NamesAndDescent) {
  TProbe probe(nullptr);
  EXPECT_EQ(probe.ClassName(), "TProbe");
  EXPECT_TRUE(probe.Is<TComponent>());
  EXPECT_TRUE(probe.Is<TObject>());
  EXPECT_FALSE(probe.Is<TStrings>());
}

TEST(PublishedProperties, InheritedComeFirstInDeclarationOrder) {
  std::vector<std::string> names;
  for (const TPropertyInfo* p : TProbe::StaticClass().Properties()) names.emplace_back(p->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Caption", "Mode", "Visible", "Items"}));
}

TEST(PublishedProperties, LookUpIgnoresLetterCaseAndHonoursTheKindFilter) {
  TProbe probe(nullptr);
  EXPECT_NE(FindPropInfo(probe, "caption", TPropertyFilter::Text), nullptr);
  EXPECT_EQ(FindPropInfo(probe, "Caption", TPropertyFilter::Object), nullptr);
  EXPECT_NE(FindPropInfo(probe, "ITEMS", TPropertyFilter::Object), nullptr);
  EXPECT_EQ(FindPropInfo(probe, "Tag", TPropertyFilter::Text), nullptr);
  EXPECT_NE(FindPropInfo(probe, "Tag", TPropertyFilter::Integer), nullptr);
  EXPECT_EQ(FindPropInfo(probe, "Hint"), nullptr);
  EXPECT_EQ(GetObjectPropClass(probe, "Items"), &TStrings::StaticClass());
}

TEST(PublishedProperties, GenericReadPrefersStringsAndIsNullWhenAbsent) {
  TProbe probe(nullptr);
  probe.SetMode(TProbe::TMode::mdOn);
  EXPECT_EQ(GetPropValue(probe, "Mode"), TValue(std::string("mdOn")));
  EXPECT_EQ(GetPropValue(probe, "Mode", false), TValue(std::int64_t{1}));
  EXPECT_EQ(GetPropValue(probe, "Visible"), TValue(std::string("True")));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(GetPropValue(probe, "Hint")));
  EXPECT_EQ(GetObjectProp(probe, "Items"), &probe.Items());
}

TEST(PublishedProperties, WritesByNameGoThroughTheSetters) {
  TProbe probe(nullptr);
  SetStrProp(probe, "caption", "\xB3\x6E\xC5\xE9");
  EXPECT_EQ(probe.Caption(), "\xB3\x6E\xC5\xE9");
  SetPropValue(probe, "Mode", TValue(std::string("MDON")));
  EXPECT_EQ(probe.Mode(), TProbe::TMode::mdOn);
  SetOrdProp(probe, "Visible", 0);
  EXPECT_FALSE(probe.Visible());
  SetOrdProp(probe, "Tag", 7);
  EXPECT_EQ(GetOrdProp(probe, "Tag"), 7);
  TStringList lines;
  lines.Add("x");
  SetPropValue(probe, "Items", TValue(static_cast<TObject*>(&lines)));
  EXPECT_EQ(probe.Items().Get(0), "x");
  EXPECT_THROW(SetPropValue(probe, "Mode", TValue(std::int64_t{2})), Exception);
  EXPECT_THROW(SetPropValue(probe, "Caption", TValue(std::int64_t{2})), Exception);
  EXPECT_THROW(SetPropValue(probe, "Items", TValue(static_cast<TObject*>(&probe))), Exception);
  EXPECT_THROW(SetStrProp(probe, "Hint", "x"), Exception);
}

class TNote : public TCollectionItem {
  QL_DECLARE_CLASS()
 public:
  using TCollectionItem::TCollectionItem;
};
QL_DEFINE_CLASS(TNote, TCollectionItem, {})

TEST(Collections, ItemsKnowTheirIndexAsItemsComeAndGo) {
  TProbe owner(nullptr);
  TOwnedCollection notes(owner, TNote::StaticClass(),
                         [](TCollection& c) -> std::unique_ptr<TCollectionItem> { return std::make_unique<TNote>(c); });
  TCollectionItem& first = notes.Add();
  TCollectionItem& second = notes.Add();
  TCollectionItem& third = notes.Add();
  EXPECT_EQ(third.Index(), 2);
  notes.Delete(1);
  (void)second;
  EXPECT_EQ(notes.Count(), 2);
  EXPECT_EQ(third.Index(), 1);
  EXPECT_EQ(&notes.Items(0), &first);
  EXPECT_EQ(notes.GetOwner(), &owner);
  EXPECT_TRUE(first.Is<TNote>());
  EXPECT_THROW((void)notes.Items(2), Exception);
}

TEST(StringLists, AssignCopiesLinesAndIndexOutOfRangeRaises) {
  TStringList a, b;
  a.Add("1");
  a.Add("2");
  b.Add("old");
  b.Assign(a);
  ASSERT_EQ(b.Count(), 2);
  b.Put(1, "two");
  EXPECT_EQ(a.Get(1), "2");
  EXPECT_EQ(b.Get(1), "two");
  EXPECT_EQ(b.UpdateCount(), 0);
  EXPECT_THROW(b.Put(2, "x"), Exception);
  TProbe probe(nullptr);
  EXPECT_THROW(b.Assign(probe), Exception);
}

class TTwice : public TObject {
  QL_DECLARE_CLASS()
 public:
  [[nodiscard]] std::int64_t One() const noexcept { return 1; }
};
constexpr TPropertyInfo kTwiceProperties[] = {
    props::Integer<TTwice, &TTwice::One>("Count"),
    props::Integer<TTwice, &TTwice::One>("count"),
};
QL_DEFINE_CLASS(TTwice, TObject, kTwiceProperties)

class TValueHolder : public TProbe {
  QL_DECLARE_CLASS()
 public:
  using TProbe::TProbe;
  [[nodiscard]] TValue Value() const { return m_value; }
  void SetValue(const TValue& value) { m_value = value; }
  [[nodiscard]] TFont& Font() const noexcept { return *m_font; }

 private:
  TValue m_value;
  std::unique_ptr<TFont> m_font = std::make_unique<TFont>();
};
constexpr TPropertyInfo kValueHolderProperties[] = {
    props::Variant<TValueHolder, &TValueHolder::Value, &TValueHolder::SetValue>("Value"),
    props::Owned<TValueHolder, TFont, &TValueHolder::Font>("Font"),
    // Redeclared: replaces the inherited row in its place.
    props::Text<TValueHolder, &TProbe::Caption>("Caption"),
};
QL_DEFINE_CLASS(TValueHolder, TProbe, kValueHolderProperties)

TEST(PublishedProperties, AClassThatNamesAPropertyTwiceIsRefused) {
  const TTwice twice;
  EXPECT_THROW((void)twice.ClassType().FindProperty("Count"), Exception);
}

TEST(PublishedProperties, VariantsReadNullAndOwnedObjectsTakeAssignedContent) {
  TValueHolder holder(nullptr);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(GetPropValue(holder, "Value")));
  SetPropValue(holder, "Value", TValue(std::int64_t{5}));
  EXPECT_EQ(GetPropValue(holder, "Value"), TValue(std::int64_t{5}));
  TFont source;
  source.SetName("Arial");
  TFont* held = &holder.Font();
  SetPropValue(holder, "Font", TValue(static_cast<TObject*>(&source)));
  EXPECT_EQ(&holder.Font(), held);
  EXPECT_EQ(held->Name(), "Arial");
  EXPECT_THROW(SetPropValue(holder, "Font", TValue(static_cast<TObject*>(nullptr))), Exception);
  EXPECT_EQ(FindPropInfo(holder, "Caption")->set, nullptr);
  std::vector<std::string> names;
  for (const TPropertyInfo* p : holder.ClassType().Properties()) names.emplace_back(p->name);
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Caption", "Mode", "Visible", "Items", "Value", "Font"}));
}

class TWatcher : public TComponent {
 public:
  using TComponent::TComponent;
  std::vector<TComponent*> removed;

 protected:
  void Notification(TComponent& component, TOperation operation) override {
    if (operation == TOperation::opRemove) removed.push_back(&component);
  }
};

TEST(ComponentOwnership, FreeNotificationTellsEachSideOnceAndCanBeWithdrawn) {
  TWatcher watcher(nullptr);
  auto a = std::make_unique<TProbe>(nullptr);
  auto b = std::make_unique<TProbe>(nullptr);
  a->FreeNotification(watcher);
  a->FreeNotification(watcher);
  b->FreeNotification(watcher);
  b->RemoveFreeNotification(watcher);
  TComponent* aAddress = a.get();
  a.reset();
  b.reset();
  EXPECT_EQ(watcher.removed, std::vector<TComponent*>{aAddress});
  auto c = std::make_unique<TProbe>(nullptr);
  {
    TWatcher gone(nullptr);
    c->FreeNotification(gone);
  }
  c.reset();  // must not tell the watcher that died first
}

TEST(Errors, MessagePlaceholderIsFilledOnce) {
  EXPECT_EQ(FormatMessageText("a\"%s\"b", "x%s"), "a\"x%s\"b");
  EOSError error(5, "Access denied");
  EXPECT_EQ(error.ErrorCode(), 5u);
  EXPECT_EQ(error.Message(), "Access denied");
}

}  // namespace
}  // namespace quorlane
