// Our WebView2 declarations against the published values, the handler
// template's COM behaviour (identity, reference count, exception barrier), and
// the instance slot's 4-byte form of a window handle.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "com_handler.h"
#include "single_instance.h"
#include "webview2.h"
#include "win32/unique_resource.h"

namespace {

std::string Text(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof(text), "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

TEST(WebView2DeclarationsTest, EveryIidIsTheReleasedOne) {
  using namespace webview2;
  const struct {
    const GUID& iid;
    const char* expected;
  } table[] = {
      {IID_ICoreWebView2Environment, "b96d755e-0319-4e92-a296-23436f46a1fc"},
      {IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, "4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d"},
      {IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, "6c4819f3-c9b7-4260-8127-c9f5bde7f68c"},
      {IID_ICoreWebView2Controller, "4d00c0d1-9434-4eb6-8078-8697a560334f"},
      {IID_ICoreWebView2, "76eceacb-0462-4d94-ac83-423a6793775e"},
      {IID_ICoreWebView2NavigationCompletedEventHandler, "d33a35bf-1c49-4f98-93ab-006e0533fe1c"},
      {IID_ICoreWebView2NavigationCompletedEventArgs, "30d68b7d-20d9-4752-a9ca-ec8448fbb5c1"},
      {IID_ICoreWebView2NewWindowRequestedEventHandler, "d4c185fe-c81c-4989-97af-2d3fa7ab5651"},
      {IID_ICoreWebView2NewWindowRequestedEventArgs, "34acb11c-fc37-4418-9132-f9c21d1eafb9"},
      {IID_ICoreWebView2Deferral, "c10e7f7b-b585-46f0-a623-8befbf3e4ee0"},
      {IID_ICoreWebView2WebResourceRequestedEventHandler, "ab00b74c-15f1-4646-80e8-e76341d25d71"},
      {IID_ICoreWebView2WebResourceRequestedEventArgs, "453e667f-12c7-49d4-be6d-ddbe7956f57a"},
  };
  for (const auto& row : table) EXPECT_EQ(Text(row.iid), row.expected);
}

TEST(ComHandlerTest, AnswersItsOwnInterfaceCountsReferencesAndStopsExceptions) {
  int calls = 0;
  auto handler = talvora::NavigationCompletedHandler::Make(
      [&](webview2::ICoreWebView2*, webview2::ICoreWebView2NavigationCompletedEventArgs*) -> HRESULT {
        if (++calls == 2) throw std::runtime_error("handler failed");
        return S_OK;
      });
  void* same = nullptr;
  ASSERT_EQ(handler->QueryInterface(webview2::IID_ICoreWebView2NavigationCompletedEventHandler, &same), S_OK);
  EXPECT_EQ(same, handler.get());
  void* unknown = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_IUnknown, &unknown), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(handler->QueryInterface(webview2::IID_ICoreWebView2NewWindowRequestedEventHandler, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(handler->Release(), 2u);  // the two references QueryInterface took
  EXPECT_EQ(handler->Release(), 1u);

  EXPECT_EQ(handler->Invoke(nullptr, nullptr), S_OK);
  EXPECT_EQ(handler->Invoke(nullptr, nullptr), E_UNEXPECTED);
  EXPECT_EQ(calls, 2);
}

// The instance slot is 4 bytes wide; a window handle must survive it in either
// width, including the sign extension that 64-bit Windows gives handle values.
TEST(InstanceSlotTest, WindowHandlesSurviveTheFourByteSlot) {
  win32::UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"slot", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                               nullptr));
  ASSERT_TRUE(window);
  EXPECT_EQ(talvora::SlotValueToWindow(talvora::WindowToSlotValue(window.get())), window.get());
  EXPECT_EQ(talvora::SlotValueToWindow(0), nullptr);
  const auto high = reinterpret_cast<std::intptr_t>(talvora::SlotValueToWindow(0x80001234u));
  EXPECT_EQ(high, sizeof(void*) == 8 ? static_cast<std::intptr_t>(-0x7FFFEDCC) : static_cast<std::intptr_t>(0x80001234u));
  EXPECT_EQ(talvora::WindowToSlotValue(reinterpret_cast<HWND>(high)), 0x80001234u);
}

}  // namespace
