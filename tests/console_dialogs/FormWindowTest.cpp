// The window skeleton every console window uses: who frees the form when the
// window is made, when its creation fails before or after WM_NCCREATE, and
// when it is destroyed; and the scoped owner of a selected GDI object.
#include <gtest/gtest.h>

#include <vector>

#include "FormWindow.h"
#include "Win32Ui.h"

namespace {

const wchar_t kCountedClass[] = L"FormWindowTestCounted";

// A form that counts its deletions and can refuse its creation at either step.
class CountedForm {
public:
    enum class Refuse { Nothing, AtNcCreate, AtCreate };
    explicit CountedForm(Refuse refuse) : refuse_(refuse) {}
    ~CountedForm() { ++deleted; }

    static int deleted;
    // What the window found in its form at WM_NCDESTROY, the last message.
    static HWND handleAtNcDestroy;
    HWND hwnd_ = nullptr;

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_NCCREATE && refuse_ == Refuse::AtNcCreate) return FALSE;
        if (msg == WM_CREATE && refuse_ == Refuse::AtCreate) return -1;
        if (msg == WM_NCDESTROY) handleAtNcDestroy = hwnd_;
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }

private:
    Refuse refuse_;
};
int CountedForm::deleted = 0;
HWND CountedForm::handleAtNcDestroy = nullptr;

CountedForm* Create(CountedForm::Refuse refuse, const wchar_t* cls = kCountedClass) {
    return CreateFormWindow(std::make_unique<CountedForm>(refuse), 0, cls, L"counted", WS_POPUP, 0, 0, 50, 50,
                            nullptr, nullptr, GetModuleHandleW(nullptr));
}

class FormWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        RegisterFormClass(GetModuleHandleW(nullptr), kCountedClass, FormWndProc<CountedForm>);
    }
    void SetUp() override {
        CountedForm::deleted = 0;
        CountedForm::handleAtNcDestroy = nullptr;
    }
};

TEST_F(FormWindow, AMadeWindowBindsItsFormAndDeletesItOnceWhenDestroyed) {
    CountedForm* form = Create(CountedForm::Refuse::Nothing);
    ASSERT_NE(form, nullptr);
    HWND hwnd = form->hwnd_;
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(form));
    EXPECT_EQ(CountedForm::deleted, 0);
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_EQ(CountedForm::deleted, 1);
    EXPECT_EQ(CountedForm::handleAtNcDestroy, hwnd);
}

TEST_F(FormWindow, ACreateThatReturnsMinusOneDeletesTheFormExactlyOnce) {
    EXPECT_EQ(Create(CountedForm::Refuse::AtCreate), nullptr);
    EXPECT_EQ(CountedForm::deleted, 1);
    EXPECT_NE(CountedForm::handleAtNcDestroy, nullptr);
}

TEST_F(FormWindow, AnNcCreateThatRefusesDeletesTheFormExactlyOnce) {
    EXPECT_EQ(Create(CountedForm::Refuse::AtNcCreate), nullptr);
    EXPECT_EQ(CountedForm::deleted, 1);
}

TEST_F(FormWindow, AClassThatDoesNotExistFreesTheFormItNeverReached) {
    EXPECT_EQ(Create(CountedForm::Refuse::Nothing, L"FormWindowTestNoSuchClass"), nullptr);
    EXPECT_EQ(CountedForm::deleted, 1);
    EXPECT_EQ(CountedForm::handleAtNcDestroy, nullptr);
}

// A memory DC's current font, as GDI reports it.
HGDIOBJ CurrentFont(HDC dc) { return GetCurrentObject(dc, OBJ_FONT); }

TEST(SelectedObject, PutsBackTheObjectItReplacedAtTheEndOfItsScope) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    const HGDIOBJ before = CurrentFont(dc);
    const FontPtr font = MakeConsoleFont();
    ASSERT_NE(font, nullptr);
    {
        SelectedObject selected(dc, font.get());
        EXPECT_EQ(CurrentFont(dc), font.get());
    }
    EXPECT_EQ(CurrentFont(dc), before);
    DeleteDC(dc);
}

}  // namespace
