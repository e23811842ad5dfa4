#pragma once
// Error codes and exceptions of the archive component.
//
// A code is a 32-bit value whose absolute value counts: bits 0..8 are the
// message id, the bits above a location tag (unit * 2^23 + line * 2^9) that only
// diagnostics show. Internal functions return negative codes for failures, 0
// for success and small positive values for warnings.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace zip {

// Message ids the directory reader and the component use.
enum TZipMessageId : int {
  ZE_UnknownError = 1,
  ZE_Canceled = 2,
  ZE_Abort = 4,
  ZE_Loaded = 8,
  ZE_Unloaded = 9,
  ZE_LoadErr = 10,
  ZE_NothingToZip = 11,
  ZE_OldEngine = 18,
  ZE_NoEngine = 19,
  ZW_StructureError = 20,
  ZP_LoadingDirectory = 41,
  ZD_Yes = 83,  // button captions follow in dialog order up to ZD_YesToAll
  ZD_YesToAll = 92,
  ZE_InvalidFileName = 103,
  ZE_Wildcard = 107,
  ZE_CEHBadRead = 119,
  ZE_NoInFile = 123,
  ZE_NotZipFile = 127,
  ZE_UnsupportedVersion = 128,
  ZE_NoExtrDir = 129,
  ZW_UnattendedExtract = 130,
  ZE_NoZipSpecified = 133,
  ZE_CECommentLen = 151,
  ZE_CEHDataSize = 152,
  ZE_CENameLen = 154,
  ZE_EOCBadRead = 158,
  ZE_FileError = 161,
  ZE_FileOpen = 164,
  ZE_Zip64FieldError = 181,
  ZE_EngineCritical = 192,
  ZE_EventEx = 193,
  ZE_NotActive = 197,
  ZE_IndexOutOfRange = 199,
  ZE_SeekError = 204,
  ZT_TracePrefix = 219,
  ZT_InfoPrefix = 220,
  ZE_EngineGood = 231,
};

constexpr int kZipIdMask = 0x1FF;

// Builds a code from an id and a location. Units number the source files that
// raise errors; the line is the raising source line.
constexpr int MakeZipCode(int id, int unit, int line) {
  return (unit << 23) | ((line & 0x3FFF) << 9) | (id & kZipIdMask);
}
constexpr int ZipCodeId(int code) { return (code < 0 ? -code : code) & kZipIdMask; }

// An argument of a message text: a number or a text.
using TZipArg = std::variant<int64_t, std::string>;

// Fills a table text used as a format: "%s", "%d", "%x" and their flags, width
// and precision take the arguments in order; a number given for "%s" is written
// in decimal and a text given for a number conversion is written as it is; a
// conversion without an argument writes nothing. Never reads beyond the list.
std::string FormatZipStr(const std::string& format, const std::vector<TZipArg>& args);

// Text lookup used to build messages (the component adds its OnLoadStr event).
using TZipStrLoader = std::function<std::string(int id)>;

class EZipException : public std::exception {
 public:
  // The default message "Zip archive exception", code 0.
  EZipException();
  // The message is the table text of the code's id.
  explicit EZipException(int code);
  // The table text is a format filled with the arguments.
  EZipException(int code, std::vector<TZipArg> args);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }

  int ExtCode() const { return ext_code_; }  // absolute value of the code
  int Ident() const { return ext_code_ & kZipIdMask; }
  bool Display() const { return display_; }  // show the dialog when reported
  void SetDisplay(bool display) { display_ = display; }
  // 0 none, 1 one string, 2 two strings (numbers are counted as texts).
  int ArgKind() const { return args_.size() > 2 ? 2 : static_cast<int>(args_.size()); }
  const std::vector<TZipArg>& Args() const { return args_; }

  // The final text built with another lookup (the component's, with its event).
  std::string FinalText(const TZipStrLoader& load) const;

 private:
  int ext_code_ = 0;
  bool display_ = true;
  std::vector<TZipArg> args_;
  std::string message_;
};

// The class the component raises.
class EZipArchiveError : public EZipException {
 public:
  using EZipException::EZipException;
  EZipArchiveError(int code, int64_t value);
  EZipArchiveError(int code, const std::string& arg);
  EZipArchiveError(int code, const char* arg) : EZipArchiveError(code, std::string(arg)) {}
};

}  // namespace zip
