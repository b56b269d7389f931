// Modal prompt that asks the operator for one line of text (the COM port number).
#include "ui/InputPrompt.h"

#include <windows.h>

#include <vector>

#include "ui/DialogTemplates.h"

namespace {
struct PromptState {
    int x;
    int y;
    std::string answer;
};

INT_PTR CALLBACK promptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const auto* state = reinterpret_cast<const PromptState*>(lParam);
        if (state->x >= 0 && state->y >= 0) {
            SetWindowPos(dialog, nullptr, state->x, state->y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        }
        const HWND edit = GetDlgItem(dialog, PromptEditId);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        return TRUE;
    }
    case WM_COMMAND: {
        auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        switch (LOWORD(wParam)) {
        case IDOK: {
            char text[256] = {};
            GetWindowTextA(GetDlgItem(dialog, PromptEditId), text, sizeof(text));
            state->answer = text;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            state->answer.clear();
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}
} // namespace

std::string InputPrompt::ask(const std::string& prompt, const std::string& caption,
                             const std::string& initialText, int x, int y) {
    PromptState state{x, y, {}};
    std::vector<uint8_t> dialogTemplate;
    try {
        dialogTemplate = buildPromptTemplate(caption, prompt, initialText);
    } catch (const std::exception&) {
        return {};
    }
    const INT_PTR ended = DialogBoxIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()),
        nullptr, promptProc, reinterpret_cast<LPARAM>(&state));
    if (ended != IDOK) {
        return {};
    }
    return state.answer;
}
