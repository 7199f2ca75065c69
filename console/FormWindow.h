// The skeleton every window of the console shares: one class registration,
// one window procedure that binds a form object to its window and hands it
// every message, and one way to create the window that says who owns the form.
//
// A form is a class with `HWND hwnd_` and `LRESULT HandleMessage(UINT, WPARAM,
// LPARAM)`, which befriends FormWndProc<Form> when these are private.
#pragma once
#include <windows.h>

#include <memory>

// The window class of a form: the system face colour, the arrow cursor.
inline void RegisterFormClass(HINSTANCE instance, const wchar_t* cls, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = cls;
    RegisterClassExW(&wc);
}

// The window procedure of a form's class. At WM_NCCREATE the window takes the
// form out of the owner CreateFormWindow handed over, and from then on the
// window alone deletes it, at WM_NCDESTROY, also when the creation fails
// later (a WM_CREATE that returns -1).
template <class Form>
LRESULT CALLBACK FormWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (msg == WM_NCCREATE) {
        auto* owner = static_cast<std::unique_ptr<Form>*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (owner && *owner) {
            form = owner->release();
            form->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        }
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) find no form yet.
    if (!form) return DefWindowProcW(hwnd, msg, wParam, lParam);
    const LRESULT result = form->HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete form;
    }
    return result;
}

// Creates the window of `form`, whose class has FormWndProc<Form>, with
// CreateWindowExW's arguments. Returns the form, owned by its window now, or
// null when no window was made; the form is gone then: freed here when the
// creation failed before WM_NCCREATE, by its window when after.
template <class Form>
Form* CreateFormWindow(std::unique_ptr<Form> form, DWORD exStyle, const wchar_t* cls, const wchar_t* caption,
                       DWORD style, int x, int y, int width, int height, HWND parent, HMENU menu,
                       HINSTANCE instance) {
    Form* const made = form.get();
    const HWND hwnd =
        CreateWindowExW(exStyle, cls, caption, style, x, y, width, height, parent, menu, instance, &form);
    return hwnd ? made : nullptr;
}
