#pragma once
// The pieces that the writers of the document builder share: an appending XML
// writer and the escaping of texts. Internal to tests/support.

#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/document_builder.h"

namespace testdocs::internal {

inline constexpr uint32_t kWindows1251 = 1251;
inline constexpr std::string_view kSenderName = "Филиал ФГБУ «ФКП Росреестра» по Московской области";

// "12345.67": coordinates as the registry writes them.
inline std::string FixedText(double value) {
  char buffer[48];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  return std::string(buffer, static_cast<size_t>(result.ptr - buffer));
}

inline void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  const char* special = attribute ? "&<>\"" : "&<>";
  size_t start = 0;
  for (;;) {
    const size_t at = text.find_first_of(special, start);
    if (at == std::string_view::npos) {
      out.append(text.substr(start));
      return;
    }
    out.append(text.substr(start, at - start));
    switch (text[at]) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += "&quot;";
        break;
    }
    start = at + 1;
  }
}

// An appending writer: no tree, so that a plan of a few hundred megabytes is written in
// about the time it takes to fill the memory.
class TXmlWriter {
 public:
  TXmlWriter(std::string& out, bool indented) : out_(out), indented_(indented) {}

  // An empty prefix writes the document's own namespace: the main prefix when
  // one is set, else none (the default namespace).
  void Start(std::string_view prefix, std::string_view local) {
    BeginNode();
    if (depth_ == stack_.size()) stack_.emplace_back();
    TOpen& open = stack_[depth_++];
    if (prefix.empty()) prefix = main_prefix_;
    open.name.assign(prefix);
    if (!prefix.empty()) open.name += ':';
    open.name += local;
    open.children = false;
    open.inline_content = false;
    out_ += '<';
    out_ += open.name;
    pending_ = true;
  }
  void Start(std::string_view name) { Start({}, name); }

  void Attr(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendEscaped(out_, value, true);
    out_ += '"';
  }
  void OptionalAttr(std::string_view name, const std::optional<std::string>& value) {
    if (value) Attr(name, *value);
  }
  void Attr(std::string_view name, double value) {
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    Attr(name, std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
  }
  void Attr(std::string_view name, int value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Attr(name, std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
  }

  void SetMainPrefix(std::string prefix) { main_prefix_ = std::move(prefix); }

  void Text(std::string_view text) {
    Content();
    AppendEscaped(out_, text, false);
  }
  // Markup written as it stands inside the current element (comments, CDATA).
  void Raw(std::string_view markup) {
    Content();
    out_ += markup;
  }

  void End() {
    TOpen& open = stack_[--depth_];
    if (pending_) {
      out_ += "/>";
      pending_ = false;
      return;
    }
    if (open.children && !open.inline_content) NewLine(depth_);
    out_ += "</";
    out_ += open.name;
    out_ += '>';
  }

  void Leaf(std::string_view prefix, std::string_view local, std::string_view text) {
    Start(prefix, local);
    if (!text.empty()) Text(text);
    End();
  }
  void Leaf(std::string_view name, std::string_view text) { Leaf({}, name, text); }
  void OptionalLeaf(std::string_view prefix, std::string_view local, const std::optional<std::string>& text) {
    if (text) Leaf(prefix, local, *text);
  }
  // Leaves out elements of empty descriptive texts, as the registry does.
  void LeafIfAny(std::string_view prefix, std::string_view local, std::string_view text) {
    if (!text.empty()) Leaf(prefix, local, text);
  }

  // A node at the top level: the declaration, an instruction, verbatim text.
  void Misc(std::string_view markup) {
    BeginNode();
    out_ += markup;
  }
  // Text appended as it stands, with no line break of its own.
  void Verbatim(std::string_view text) { out_ += text; }

  void Finish() {
    if (indented_) out_ += "\r\n";
  }

  size_t Size() const { return out_.size(); }

 private:
  struct TOpen {
    std::string name;
    bool children = false;
    bool inline_content = false;
  };

  void CloseStartTag() {
    if (pending_) {
      out_ += '>';
      pending_ = false;
    }
  }
  void BeginNode() {
    CloseStartTag();
    if (depth_ > 0) {
      TOpen& parent = stack_[depth_ - 1];
      parent.children = true;
      if (parent.inline_content) return;  // keep mixed content on one line
    }
    if (!first_) NewLine(depth_);
    first_ = false;
  }
  void Content() {
    CloseStartTag();
    stack_[depth_ - 1].inline_content = true;
    first_ = false;
  }
  void NewLine(size_t level) {
    if (!indented_) return;
    out_ += "\r\n";
    out_.append(2 * level, ' ');
  }

  std::string& out_;
  bool indented_;
  std::string main_prefix_;
  std::vector<TOpen> stack_;  // reused, so names keep their storage between elements
  size_t depth_ = 0;
  bool pending_ = false;
  bool first_ = true;
};

// Writes a document of the registry's formats without a stylesheet (the root
// element names the format) into out.
void WriteRootElementDocument(const TDocument& document, const TBuildOptions& options, std::string& out);

}  // namespace testdocs::internal
