#include "xml/text_parse_error.h"

#include <string_view>

#include "platform/text_conversion.h"

namespace xml {

namespace {

void AppendNumber(std::u16string& out, int64_t value) {
  const std::string digits = std::to_string(value);
  out.append(digits.begin(), digits.end());
}

}  // namespace

std::u16string TTextParseError::Message() const {
  std::u16string text = reason_;
  text += u"\r\n\r\nReading at:\r\n";
  if (!url_.empty()) {
    text += u"URL: ";
    text += url_;
    text += u"\r\n";
  }
  text += u"Line: ";
  AppendNumber(text, line_);
  text += u"\r\nChar: ";
  AppendNumber(text, line_position_);
  text += u"\r\nPosition in source stub: ";
  AppendNumber(text, source_stub_position_);
  text += u"\r\nSource stub:\r\n";
  text += source_stub_;
  return text;
}

void TTextParseError::Set(std::u16string url, std::u16string reason, int64_t line, int64_t line_position,
                          std::u16string source_stub, int source_stub_position) {
  url_ = std::move(url);
  reason_ = std::move(reason);
  line_ = line;
  line_position_ = line_position;
  source_stub_ = std::move(source_stub);
  source_stub_position_ = source_stub_position;
}

void TTextParseError::RaiseException() const { throw ETextReaderException(*this); }

void TTextParseError::RaiseAndCatchException() const {
  try {
    RaiseException();
  } catch (const ETextReaderException&) {
    // Raised for anyone who watches exceptions; the caller reads the record.
  }
}

void TXMLParseErrorInvalidCharacter::RaiseException() const { throw EXMLReaderInvalidCharacter(*this); }

void TXMLParseErrorInvalidStructure::RaiseException() const { throw EXMLReaderInvalidStructure(*this); }

ETextReaderException::ETextReaderException(const TTextParseError& error)
    : std::runtime_error(platform::Utf16ToUtf8(error.Message())),
      message_(error.Message()),
      url_(error.URL()),
      reason_(error.Reason()),
      source_stub_(error.SourceStub()),
      line_(error.Line()),
      line_position_(error.LinePosition()),
      source_stub_position_(error.SourceStubPosition()) {}

}  // namespace xml
