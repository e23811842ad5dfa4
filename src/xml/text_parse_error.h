#pragma once
// The record of an error in XML text and the exceptions raised for it.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace xml {

class TTextParseError;

// Raised for parse-error records. what() is the UTF-8 form of Message().
class ETextReaderException : public std::runtime_error {
 public:
  explicit ETextReaderException(const TTextParseError& error);
  virtual int ErrorCode() const { return 0; }

  const std::u16string& Message() const { return message_; }
  const std::u16string& URL() const { return url_; }
  const std::u16string& Reason() const { return reason_; }
  int64_t Line() const { return line_; }
  int64_t LinePosition() const { return line_position_; }
  const std::u16string& SourceStub() const { return source_stub_; }
  int SourceStubPosition() const { return source_stub_position_; }

 private:
  std::u16string message_, url_, reason_, source_stub_;
  int64_t line_, line_position_;
  int source_stub_position_;
};

class EXMLReaderInvalidCharacter : public ETextReaderException {
 public:
  using ETextReaderException::ETextReaderException;
  int ErrorCode() const override { return 5; }
};

class EXMLReaderInvalidStructure : public ETextReaderException {
 public:
  using ETextReaderException::ETextReaderException;
  int ErrorCode() const override { return 3; }
};

// Misuse of the text reader (not an error in the text).
class ETextReader : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

class ITextParseError {
 public:
  virtual ~ITextParseError() = default;
  virtual const std::u16string& URL() const = 0;
  virtual const std::u16string& Reason() const = 0;
  virtual int64_t Line() const = 0;
  virtual int64_t LinePosition() const = 0;
  virtual const std::u16string& SourceStub() const = 0;
  virtual int SourceStubPosition() const = 0;
  // The full text of the exception raised for this error.
  virtual std::u16string Message() const = 0;
  // Raises the exception of the record's class.
  [[noreturn]] virtual void RaiseException() const = 0;
  // Raises it and swallows it at once when it is an ETextReaderException.
  virtual void RaiseAndCatchException() const = 0;
};
using ITextParseErrorPtr = std::shared_ptr<const ITextParseError>;

class TTextParseError : public ITextParseError {
 public:
  TTextParseError() = default;
  const std::u16string& URL() const override { return url_; }
  const std::u16string& Reason() const override { return reason_; }
  int64_t Line() const override { return line_; }
  int64_t LinePosition() const override { return line_position_; }
  const std::u16string& SourceStub() const override { return source_stub_; }
  int SourceStubPosition() const override { return source_stub_position_; }
  std::u16string Message() const override;
  [[noreturn]] void RaiseException() const override;
  void RaiseAndCatchException() const override;

  void Set(std::u16string url, std::u16string reason, int64_t line, int64_t line_position, std::u16string source_stub,
           int source_stub_position);

 private:
  std::u16string url_, reason_, source_stub_;
  int64_t line_ = 0, line_position_ = 0;
  int source_stub_position_ = 0;
};

class TXMLParseErrorInvalidCharacter : public TTextParseError {
 public:
  [[noreturn]] void RaiseException() const override;
};

class TXMLParseErrorInvalidStructure : public TTextParseError {
 public:
  [[noreturn]] void RaiseException() const override;
};

}  // namespace xml
