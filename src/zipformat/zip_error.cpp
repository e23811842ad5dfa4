#include "zipformat/zip_error.h"

#include <cstdio>
#include <cstdlib>

#include "zipformat/zip_message_table.h"

namespace zip {

std::string FormatZipStr(const std::string& format, const std::vector<TZipArg>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // Flags, width and precision: digits, '-', '+', ' ', '#', '.'; at most a few.
    size_t j = i + 1;
    while (j < format.size() && j - i < 6 &&
           std::string_view("-+ #0123456789.").find(format[j]) != std::string_view::npos)
      ++j;
    if (j >= format.size()) {
      out.append(format, i, std::string::npos);
      break;
    }
    const char conv = format[j];
    if (std::string_view("sdiuxX").find(conv) == std::string_view::npos) {
      out.append(format, i, j - i + 1);
      i = j;
      continue;
    }
    const std::string conversion = format.substr(i, j - i);  // "%" plus flags, width, precision
    if (next < args.size()) {
      const TZipArg& arg = args[next++];
      if (const auto* number = std::get_if<int64_t>(&arg)) {
        char buffer[64] = {};
        const char c = conv == 's' ? 'd' : conv;
        std::snprintf(buffer, sizeof buffer, (conversion + "ll" + c).c_str(), static_cast<long long>(*number));
        out += buffer;
      } else {
        out += std::get<std::string>(arg);
      }
    }
    i = j;
  }
  return out;
}

EZipException::EZipException() : message_("Zip archive exception") {}

EZipException::EZipException(int code) : ext_code_(std::abs(code)) { message_ = FinalText(nullptr); }

EZipException::EZipException(int code, std::vector<TZipArg> args) : ext_code_(std::abs(code)), args_(std::move(args)) {
  message_ = FinalText(nullptr);
}

std::string EZipException::FinalText(const TZipStrLoader& load) const {
  if (ext_code_ == 0) return message_;
  const std::string text = load ? load(Ident()) : LoadZipStr(Ident());
  return args_.empty() ? text : FormatZipStr(text, args_);
}

EZipArchiveError::EZipArchiveError(int code, int64_t value) : EZipException(code, std::vector<TZipArg>{value}) {}

EZipArchiveError::EZipArchiveError(int code, const std::string& arg) : EZipException(code, std::vector<TZipArg>{arg}) {}

}  // namespace zip
