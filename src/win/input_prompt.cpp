#include "win/input_prompt.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavric::win {
namespace {

enum ControlId : WORD { kIdText = 100, kIdAnswer = 101 };

// A dialog template built in memory: the dialog, then each control, each item aligned to
// four bytes, in dialog units (which follow the dialog's font and the monitor's DPI).
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short cx, short cy, WORD controls) {
    align();
    add_dword(style);
    add_dword(0);  // extended style
    add_word(controls);
    add_shorts({0, 0, cx, cy});
    add_word(0);  // no menu
    add_word(0);  // the standard dialog class
    add_word(0);  // no title: set when the dialog starts
    add_word(8);  // font size in points, with DS_SETFONT
    add_text(L"MS Shell Dlg");
  }

  void add_control(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
                   const wchar_t* text) {
    align();
    add_dword(WS_CHILD | WS_VISIBLE | style);
    add_dword(0);
    add_shorts({x, y, cx, cy});
    add_word(id);
    add_word(0xFFFF);  // a predefined class, by atom
    add_word(cls);
    add_text(text);
    add_word(0);  // no creation data
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  static constexpr WORD kButton = 0x0080;
  static constexpr WORD kEdit = 0x0081;
  static constexpr WORD kStatic = 0x0082;

 private:
  void align() {
    if (words_.size() % 2) words_.push_back(0);
  }
  void add_word(WORD w) { words_.push_back(w); }
  void add_dword(DWORD d) {
    add_word(LOWORD(d));
    add_word(HIWORD(d));
  }
  void add_shorts(std::initializer_list<short> values) {
    for (const short v : values) add_word(static_cast<WORD>(v));
  }
  void add_text(const wchar_t* text) {
    for (; *text; ++text) add_word(static_cast<WORD>(*text));
    add_word(0);
  }

  std::vector<WORD> words_;
};

struct PromptState {
  const std::wstring* title;
  const std::wstring* text;
  const std::wstring* default_text;
  std::optional<std::wstring> answer;
};

std::wstring window_text(HWND control) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Over the middle of the owner, as a prompt about the owner's work is.
void centre_on_owner(HWND dialog) {
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  RECT outer{};
  RECT box{};
  if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &outer)) {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &outer, 0);
  }
  ::GetWindowRect(dialog, &box);
  const int w = box.right - box.left;
  const int h = box.bottom - box.top;
  ::SetWindowPos(dialog, nullptr, (outer.left + outer.right - w) / 2,
                 (outer.top + outer.bottom - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK prompt_proc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  auto* state = reinterpret_cast<PromptState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<PromptState*>(l);
      ::SetWindowLongPtrW(dialog, DWLP_USER, l);
      ::SetWindowTextW(dialog, state->title->c_str());
      ::SetDlgItemTextW(dialog, kIdText, state->text->c_str());
      HWND answer = ::GetDlgItem(dialog, kIdAnswer);
      ::SetWindowTextW(answer, state->default_text->c_str());
      ::SendMessageW(answer, EM_SETSEL, 0, -1);
      centre_on_owner(dialog);
      ::SetForegroundWindow(dialog);
      ::SetFocus(answer);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(w) == IDOK) {
        state->answer = window_text(::GetDlgItem(dialog, kIdAnswer));
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(w) == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

// The height of `text` in the prompt's text field, in dialog units: at least the room
// of the prompt's own text, more for a longer one (about 42 characters a line).
short text_height(const std::wstring& text) {
  constexpr std::size_t kCharsPerLine = 42;
  constexpr int kLineHeight = 8;
  int lines = 0;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(L"\r\n", start), text.size());
    lines += static_cast<int>(
        std::max<std::size_t>(1, (end - start + kCharsPerLine - 1) / kCharsPerLine));
    start = end + 2;
  }
  return static_cast<short>(std::clamp(lines * kLineHeight + 2, 64, 400));
}

}  // namespace

std::optional<std::wstring> ask_text(HWND owner, const std::wstring& title,
                                     const std::wstring& text, const std::wstring& default_text) {
  const short height = text_height(text);
  DialogTemplate form(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
                      250, static_cast<short>(height + 32), 4);
  form.add_control(SS_LEFT | SS_NOPREFIX, 7, 7, 180, height, kIdText, DialogTemplate::kStatic, L"");
  form.add_control(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 193, 7, 50, 14, IDOK,
                   DialogTemplate::kButton, L"OK");
  form.add_control(BS_PUSHBUTTON | WS_TABSTOP, 193, 25, 50, 14, IDCANCEL, DialogTemplate::kButton,
                   L"Cancel");
  form.add_control(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP, 7,
                   static_cast<short>(height + 12), 236, 12, kIdAnswer, DialogTemplate::kEdit, L"");
  PromptState state{&title, &text, &default_text, std::nullopt};
  ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), form.get(), owner, prompt_proc,
                            reinterpret_cast<LPARAM>(&state));
  return state.answer;
}

}  // namespace tavric::win
