#include "zip/zip_message_dialog.h"

#include <algorithm>

#include "common/text_format.h"

namespace zip {

namespace {

struct TButtonInfo {
  TZipMsgDlgBtn kind;
  int caption_id;
  int modal_result;
};
constexpr TButtonInfo kButtonOrder[] = {{zmbYes, 83, zmrYes},         {zmbNo, 84, zmrNo},
                                        {zmbOK, 85, zmrOk},           {zmbCancel, 86, zmrCancel},
                                        {zmbAbort, 87, zmrAbort},     {zmbRetry, 88, zmrRetry},
                                        {zmbIgnore, 89, zmrIgnore},   {zmbAll, 90, zmrAll},
                                        {zmbNoToAll, 91, zmrNoToAll}, {zmbYesToAll, 92, zmrYesToAll}};

int MulDiv(int a, int b, int c) { return c ? static_cast<int>(static_cast<int64_t>(a) * b / c) : 0; }

std::string WithoutAccelerator(const std::string& caption) {
  std::string out;
  for (char c : caption)
    if (c != '&') out.push_back(c);
  return out;
}

}  // namespace

TZipMessageDialog::TZipMessageDialog(const std::string& title, const std::string& message, int kind,
                                     TZipMsgDlgButtons buttons, int help_context, const std::string& application_title,
                                     bool show_help_context, const TZipStrLoader& load)
    : text_(message), kind_(kind), help_context_(help_context) {
  caption_ = title.empty() ? application_title : title;
  if (show_help_context) caption_ = common::Format("%s   (%d)", caption_.c_str(), help_context);
  type_ = static_cast<TZipDlgType>(std::min((kind >> 16) & 7, 4));

  auto index_of = [this](TZipMsgDlgBtn b) {
    for (size_t i = 0; i < buttons_.size(); ++i)
      if (buttons_[i].kind == b) return static_cast<int>(i);
    return -1;
  };
  for (const TButtonInfo& info : kButtonOrder) {
    if (!(buttons & (1u << info.kind))) continue;
    const int number = static_cast<int>(buttons_.size()) + 1;
    buttons_.push_back({info.kind, common::Format("ZipDlg_A%d", number), load(info.caption_id), info.modal_result});
  }
  for (TZipMsgDlgBtn b : {zmbOK, zmbYes, zmbRetry})
    if ((default_ = index_of(b)) >= 0) break;
  for (TZipMsgDlgBtn b : {zmbCancel, zmbNo, zmbOK})
    if ((cancel_ = index_of(b)) >= 0) break;
}

TZipDlgIcon TZipMessageDialog::Icon() const {
  switch (type_) {
    case TZipDlgType::dtWarning:
      return TZipDlgIcon::diExclamation;
    case TZipDlgType::dtError:
      return TZipDlgIcon::diHand;
    case TZipDlgType::dtInformation:
      return TZipDlgIcon::diAsterisk;
    case TZipDlgType::dtConfirmation:
      return TZipDlgIcon::diQuestion;
    case TZipDlgType::dtNone:
      break;
  }
  return TZipDlgIcon::diNone;
}

TZipDlgBeep TZipMessageDialog::Beep() const {
  switch (type_) {
    case TZipDlgType::dtWarning:
      return TZipDlgBeep::dbExclamation;
    case TZipDlgType::dtError:
      return TZipDlgBeep::dbHand;
    case TZipDlgType::dtInformation:
      return TZipDlgBeep::dbAsterisk;
    case TZipDlgType::dtConfirmation:
      return TZipDlgBeep::dbQuestion;
    case TZipDlgType::dtNone:
      break;
  }
  return TZipDlgBeep::dbNone;
}

TZipDialogGeometry TZipMessageDialog::Layout(const TZipFontMetrics& m, const TZipMeasureText& measure) const {
  const int hm = MulDiv(kHorzMargin, m.average_char_width, 4), vm = MulDiv(kVertMargin, m.char_height, 8);
  const int hs = MulDiv(kHorzSpacing, m.average_char_width, 4), vs = MulDiv(kVertSpacing, m.char_height, 8);
  const int bh = MulDiv(kButtonHeight, m.char_height, 8), bs = MulDiv(kButtonSpacing, m.average_char_width, 4);
  int bw = MulDiv(kButtonWidth, m.average_char_width, 4);
  for (const TZipDialogButton& b : buttons_) {
    int w = 0, h = 0;
    measure(WithoutAccelerator(b.caption), 1 << 20, w, h);
    bw = std::max(bw, w + 8);
  }

  TZipDialogGeometry g;
  const bool has_icon = Icon() != TZipDlgIcon::diNone;
  if (has_icon) g.icon = {hm, vm, kIconSize, kIconSize};
  const int text_left = has_icon ? hm + kIconSize + hs : hm;
  int tw = 0, th = 0;
  measure(text_, m.screen_width > 0 ? m.screen_width / 2 : 1 << 20, tw, th);
  g.text = {text_left, vm, tw, th};
  int content_right = text_left + tw, content_bottom = std::max(vm + th, has_icon ? vm + kIconSize : 0);
  if (HasPasswordEdit()) {
    const int ew = std::max(tw, kEditMinChars * m.average_char_width);
    g.edit = {text_left, content_bottom + vs, ew, MulDiv(12, m.char_height, 8)};
    content_right = std::max(content_right, text_left + ew);
    content_bottom = g.edit.top + g.edit.height;
  }
  const int n = static_cast<int>(buttons_.size());
  const int row = n > 0 ? n * bw + (n - 1) * bs : 0;
  g.client_width = std::max(content_right - hm, row) + 2 * hm;
  const int top = content_bottom + vs;
  int left = (g.client_width - row) / 2;
  for (int i = 0; i < n; ++i, left += bw + bs) g.buttons.push_back({left, top, bw, bh});
  g.client_height = top + bh + vm;
  return g;
}

}  // namespace zip
