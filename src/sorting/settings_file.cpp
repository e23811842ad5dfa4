#include "sorting/settings_file.h"

#include <charconv>

#include "common/stream.h"
#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/replace_file_stream.h"
#include "platform/text_conversion.h"
#include "xml/xml_document.h"
#include "xml/xml_reader.h"

namespace sorting {

namespace {

constexpr uint32_t kSettingsCodePage = 1251;

std::string FileSuffix(const std::string& name) { return " (файл: \"" + name + "\")"; }

std::string Attribute(xml::TXMLNode& element, std::u16string_view name, bool& present) {
  xml::TXMLNode* attribute = element.FindAttribute(name);
  present = attribute != nullptr;
  return present ? platform::Utf16ToUtf8(attribute->NodeValue()) : std::string();
}

int IntAttribute(xml::TXMLNode& element, std::u16string_view name, int default_value) {
  bool present;
  const std::string text = common::Trim(Attribute(element, name, present));
  if (!present) return default_value;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  int value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end && begin != end ? value : default_value;
}

bool SwitchAttribute(xml::TXMLNode& element, std::u16string_view name, bool default_value) {
  bool present;
  const std::string text = Attribute(element, name, present);
  if (text == "1") return true;
  if (text == "0") return false;
  return default_value;
}

std::string TextAttribute(xml::TXMLNode& element, std::u16string_view name) {
  bool present;
  return Attribute(element, name, present);
}

// The first child element of that name, names compared exactly.
xml::TXMLNode* Section(xml::TXMLNode& root, std::u16string_view name) {
  for (xml::TXMLNode* node = root.FirstChild(); node; node = node->NextSibling)
    if (node->NodeType == xml::TXMLNodeType::Element && node->NodeName() == name) return node;
  return nullptr;
}

// An attribute value in windows-1251 with the four markup characters as
// entities; what the code page cannot hold, and the line breaks and TAB (which
// attribute reading would turn into blanks), as numeric references.
void AppendValue(std::string& out, std::string_view utf8) {
  const std::u16string text = platform::Utf8ToUtf16(utf8);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    switch (c) {
      case u'"':
        out += "&quot;";
        continue;
      case u'&':
        out += "&amp;";
        continue;
      case u'<':
        out += "&lt;";
        continue;
      case u'>':
        out += "&gt;";
        continue;
      default:
        break;
    }
    if (c < 0x80 && c >= 0x20) {
      out += static_cast<char>(c);
      continue;
    }
    // XML cannot carry the other control characters even as references: one of
    // them would make the whole file unreadable at the next start.
    if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF) {
      out += '_';
      continue;
    }
    uint32_t code_point = c;
    size_t units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code_point = 0x10000 + ((static_cast<uint32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
    }
    std::string bytes;
    if (units == 1 && c >= 0x20 &&
        platform::Utf16ToCodePage(kSettingsCodePage, std::u16string_view(&text[i], 1), bytes) && bytes.size() == 1 &&
        bytes != "?") {
      out += bytes;
    } else {
      out += common::Format("&#%u;", code_point);
    }
    i += units - 1;
  }
}

void AppendText(std::string& out, const char* name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  AppendValue(out, value);
  out += '"';
}

void AppendNumber(std::string& out, const char* name, int value) { out += common::Format(" %s=\"%d\"", name, value); }

void AppendSwitch(std::string& out, const char* name, bool value) {
  out += common::Format(" %s=\"%s\"", name, value ? "1" : "0");
}

}  // namespace

TSettings ParseSettings(std::string_view bytes, const std::string& name) {
  xml::TXMLDocument document;
  document.URL = platform::Utf8ToUtf16(name);
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  if (!document.LoadFromStream(stream)) {
    const auto& error = document.ParseError();
    // A file with the declaration alone reads like one without sections.
    if (error && error->Reason() == xml::kNoDocumentElement) return TSettings{};
    const std::string message = error ? platform::Utf16ToUtf8(error->Message()) : std::string("Parse error");
    throw ESettingsFileError(message + FileSuffix(name));
  }

  TSettings settings;
  xml::TXMLNode* root = document.DocumentElement();
  if (!root) return settings;
  if (xml::TXMLNode* form = Section(*root, u"FormSettings")) {
    TFormSettings& values = settings.form.emplace();
    values.left = IntAttribute(*form, u"Left", values.left);
    values.top = IntAttribute(*form, u"Top", values.top);
    values.width = IntAttribute(*form, u"Width", values.width);
    values.height = IntAttribute(*form, u"Height", values.height);
  }
  if (xml::TXMLNode* folders = Section(*root, u"FolderSettings")) {
    TFolderSettings& values = settings.folders.emplace();
    values.input_folder = TextAttribute(*folders, u"InputFolder");
    values.output_folder = TextAttribute(*folders, u"OutputFolder");
    values.deep_search = SwitchAttribute(*folders, u"InputFolderDeepSearch", values.deep_search);
    values.unpack = SwitchAttribute(*folders, u"Unpack", values.unpack);
  }
  if (xml::TXMLNode* rules = Section(*root, u"RulesSettings")) {
    TRulesSettings& values = settings.rules.emplace();
    values.kpt_rule = TextAttribute(*rules, u"RuleKpt");
    values.kvzu_rule = TextAttribute(*rules, u"RuleKvzu");
  }
  return settings;
}

std::optional<TSettings> LoadSettingsFile(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  std::string bytes;
  try {
    common::TFileStream file(path, common::TFileMode::fmOpenRead);
    const int64_t size = file.Size();
    bytes.resize(static_cast<size_t>(size));
    file.ReadBuffer(bytes.data(), size);
  } catch (const common::EStreamError& e) {
    throw ESettingsFileError(e.what() + FileSuffix(path));
  }
  return ParseSettings(bytes, path);
}

std::string SettingsText(const TFormSettings& form, const TFolderSettings& folders, const TRulesSettings& rules) {
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<root>\r\n\t<FormSettings";
  AppendNumber(text, "Left", form.left);
  AppendNumber(text, "Top", form.top);
  AppendNumber(text, "Width", form.width);
  AppendNumber(text, "Height", form.height);
  text += "/>\r\n\t<FolderSettings";
  AppendText(text, "InputFolder", folders.input_folder);
  AppendText(text, "OutputFolder", folders.output_folder);
  AppendSwitch(text, "InputFolderDeepSearch", folders.deep_search);
  AppendSwitch(text, "Unpack", folders.unpack);
  text += "/>\r\n\t<RulesSettings";
  AppendText(text, "RuleKpt", rules.kpt_rule);
  AppendText(text, "RuleKvzu", rules.kvzu_rule);
  text += "/>\r\n</root>";
  return text;
}

void SaveSettingsFile(const std::string& path, const TFormSettings& form, const TFolderSettings& folders,
                      const TRulesSettings& rules) {
  const std::string text = SettingsText(form, folders, rules);
  try {
    platform::TReplaceFileStream file(path);
    file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    if (!file.Commit()) throw common::EWriteError("Cannot write file \"" + path + "\"");
  } catch (const common::EStreamError& e) {
    throw ESettingsFileError(e.what());
  }
}

}  // namespace sorting
