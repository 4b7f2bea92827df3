#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

// A CBT hook answers the system's message boxes: it reads the box's title and text when the box
// is activated and presses the chosen button.
struct Answer {
  int button = IDOK;
  std::u16string title;
  std::u16string text;
  int boxes = 0;
};
Answer* g_answer = nullptr;
HHOOK g_hook = nullptr;

HWND g_box = nullptr;

BOOL CALLBACK FindText(HWND child, LPARAM out) {
  wchar_t cls[32], text[512];
  ::GetClassNameW(child, cls, 32);
  if (::lstrcmpiW(cls, L"Static") == 0 && ::GetWindowTextW(child, text, 512) > 0) {
    *reinterpret_cast<std::u16string*>(out) = reinterpret_cast<const char16_t*>(text);
    return FALSE;
  }
  return TRUE;
}

// Runs from the box's own message loop, once the box has its texts.
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  if (g_answer == nullptr || g_box == nullptr) return;
  wchar_t title[256] = {};
  ::GetWindowTextW(g_box, title, 256);
  g_answer->title = reinterpret_cast<const char16_t*>(title);
  ::EnumChildWindows(g_box, FindText, reinterpret_cast<LPARAM>(&g_answer->text));
  ::PostMessageW(g_box, WM_COMMAND, MAKEWPARAM(g_answer->button, BN_CLICKED), 0);
  g_box = nullptr;
}

LRESULT CALLBACK CbtHook(int code, WPARAM wparam, LPARAM lparam) {
  if (g_answer != nullptr && code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    wchar_t cls[32];
    ::GetClassNameW(box, cls, 32);
    if (::lstrcmpiW(cls, L"#32770") == 0 && g_box != box) {
      g_box = box;
      ++g_answer->boxes;
      ::SetTimer(nullptr, 0, 10, AnswerBox);
    }
  }
  return ::CallNextHookEx(g_hook, code, wparam, lparam);
}

class SystemMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageHandler(nullptr, nullptr);
    g_answer = &answer_;
    g_hook = ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
  }
  void TearDown() override {
    ::UnhookWindowsHookEx(g_hook);
    g_answer = nullptr;
  }
  Answer answer_;
};

TEST_F(SystemMessageBoxTest, ErrorBoxShowsTheRussianTextUnderTitleError) {
  ShowError("Не найден заголовок накладной"_cp);
  EXPECT_EQ(answer_.boxes, 1);
  EXPECT_EQ(answer_.title, u"Error");
  EXPECT_EQ(answer_.text, u"Не найден заголовок накладной");
}

TEST_F(SystemMessageBoxTest, ConfirmationBoxAnswersYesOrNo) {
  answer_.button = IDYES;
  EXPECT_TRUE(AskConfirmation("Накладная уже экспортирована. Заменить?"_cp));
  EXPECT_EQ(answer_.title, u"Confirm");
  EXPECT_EQ(answer_.text, u"Накладная уже экспортирована. Заменить?");
  answer_.button = IDNO;
  EXPECT_FALSE(AskConfirmation("?"));
  EXPECT_EQ(answer_.boxes, 2);
}

int __stdcall Recording(int kind, const char* title, const char* text, void* user) {
  auto* seen = static_cast<std::string*>(user);
  *seen = std::to_string(kind) + "|" + title + "|" + text;
  return kind == 1;
}

TEST_F(SystemMessageBoxTest, AHandlerTakesEveryBoxUntilReset) {
  std::string seen;
  SetMessageHandler(Recording, &seen);
  EXPECT_TRUE(AskConfirmation("Вопрос"_cp));
  EXPECT_EQ(seen, "1|Confirm|" + std::string("Вопрос"_cp));
  ShowError("x");
  EXPECT_EQ(seen, "0|Error|x");
  EXPECT_EQ(answer_.boxes, 0);
  SetMessageHandler(nullptr, nullptr);
  ShowError("y");
  EXPECT_EQ(answer_.boxes, 1);
}

}  // namespace
}  // namespace epd::platform
