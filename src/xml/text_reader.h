#pragma once
// Turns a byte stream into UTF-16 characters, block by block, counting lines and
// columns, and builds the parse-error records of the XML reader.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/encoding.h"
#include "xml/text_parse_error.h"

namespace common {
class TStream;
class TCustomMemoryStream;
}  // namespace common

namespace platform {
class TCodePageDecoder;
}

namespace xml {

class TBufferedReadStream;

enum class TErrorHandling : uint8_t { Silent = 0, RaiseAndCatch = 1, Raise = 2 };

// Replaces each "%s" of format, in order, by the next argument.
std::u16string FormatReason(std::u16string_view format, std::initializer_list<std::u16string_view> args);

class TTextReader {
 public:
  explicit TTextReader(int buffer_size);
  ~TTextReader();
  TTextReader(const TTextReader&) = delete;
  TTextReader& operator=(const TTextReader&) = delete;

  // Memory and file streams are read directly; any other stream through a
  // read-ahead wrapper that this reader owns. The caller keeps the stream.
  // default_encoding applies when the text has no byte order mark.
  void InitStream(common::TStream& stream, TEncodingPtr default_encoding);
  // Restarts at the position InitStream recorded (before any byte order mark)
  // with another encoding; the same encoding changes nothing.
  void SetEncoding(TEncodingPtr encoding);

  // False at the end of the text (ch is then 0 and the stream is released).
  bool ReadNextChar(char16_t& ch) {
    if (undo_) {
      undo_ = false;
      ch = Before(pos_);
      return true;
    }
    if (pos_ == end_ && !DecodeBlock()) {
      AtEnd();
      ch = 0;
      return false;
    }
    ch = *pos_++;
    if (ch <= u'\r' && (ch == u'\n' || ch == u'\r')) LineBreak(pos_ - 1);
    return true;
  }
  // The next ReadNextChar delivers the last character again. Raises ETextReader
  // when called twice without a read in between; does nothing at the end.
  void UndoRead() {
    if (undo_) UndoTwice();
    if (eof_) return;
    undo_ = true;
  }

  // Up to max characters that the next ReadNextChar calls would take, from the
  // current block (decoding one when none is left); nothing is taken.
  std::u16string_view Peek(size_t max) {
    if (undo_) return {};
    if (pos_ == end_ && !DecodeBlock()) return {};
    return {pos_, std::min(max, static_cast<size_t>(end_ - pos_))};
  }

  // Bulk access for tokenizers. [RunBegin(), RunEnd()) are the characters that
  // the next ReadNextChar calls would take from the current block (none while a
  // character is given back).
  const char16_t* RunBegin() const { return pos_; }
  const char16_t* RunEnd() const { return undo_ ? pos_ : end_; }
  // Takes the characters up to stop, which hold no CR or LF, exactly as that
  // many ReadNextChar calls would. (Positions follow from the read position:
  // only line breaks are counted as they pass.)
  void SkipPlainRun(const char16_t* stop) { pos_ = stop; }
  // The same for characters that may hold line breaks.
  void SkipRun(const char16_t* stop);
  // The same for characters whose only line breaks are CR LF pairs, lines of
  // them, the last one ending just before line_start.
  void SkipPairedRun(const char16_t* stop, int64_t lines, const char16_t* line_start) {
    line_ += lines;
    line_start_ = line_start - block_begin_;
    pos_ = stop;
  }

  // Up to max characters just before the read position, from the current block
  // only; with trim, only those after the last CR or LF.
  std::u16string ReadPreviousString(int max, bool trim_to_line_start) const;
  // Reads up to max characters; with stop set, a CR or LF is given back and ends it.
  std::u16string ReadString(int max, bool stop_at_line_break);

  void HoldBuffer();
  void ReleaseBuffer();
  void ReleaseStream();
  // callback(context) runs before the decoded block is replaced, so that a
  // tokenizer holding views into it can copy what it still needs.
  void SetBlockCallback(void (*callback)(void*), void* context) {
    block_callback_ = callback;
    block_context_ = context;
  }

  // Stores an error record of class E at the current position and, by
  // ErrorHandling, raises its exception (and swallows it, by default).
  template <class E>
  void RaiseParseError(std::u16string reason) {
    RaiseParseErrorRecord(std::make_shared<E>(), std::move(reason));
  }
  template <class E>
  void RaiseParseError(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
    RaiseParseErrorRecord(std::make_shared<E>(), FormatReason(format, args));
  }

  const TEncoding* Encoding() const { return encoding_.get(); }
  bool BOMFound() const { return bom_found_; }
  int64_t Line() const { return line_; }
  // A character given back counts as not read.
  int64_t LinePosition() const { return (pos_ - block_begin_) - line_start_ - (undo_ ? 1 : 0); }
  int64_t FilePosition() const { return block_start_ + (pos_ - block_begin_) - (undo_ ? 1 : 0); }
  bool EndOfStream() const { return eof_; }
  int BufferSize() const { return buffer_size_; }
  const ITextParseErrorPtr& ParseError() const { return parse_error_; }
  const std::u16string& URL() const { return url_; }
  void SetURL(std::u16string url) { url_ = std::move(url); }
  TErrorHandling ErrorHandling() const { return error_handling_; }
  void SetErrorHandling(TErrorHandling handling) { error_handling_ = handling; }

 private:
  enum class TDecodeKind { Utf8, Utf16LE, Utf16BE, CodePage, Generic };

  // The character read before p (p in the block or at its end).
  char16_t Before(const char16_t* p) const { return p != block_begin_ ? p[-1] : block_last_; }
  // The CR or LF at p has been read: CR LF, a lone CR and a lone LF are one
  // break each, and the line starts behind it.
  void LineBreak(const char16_t* p) {
    if (*p == u'\r' || Before(p) != u'\r') ++line_;
    line_start_ = p + 1 - block_begin_;
  }

  bool DecodeBlock();
  void AtEnd();
  [[noreturn]] static void UndoTwice();
  void ChooseDecoder();
  void EmptyBlock();
  void ResetPosition();
  void RaiseParseErrorRecord(std::shared_ptr<TTextParseError> record, std::u16string reason);

  std::u16string url_;
  // The decoded block: [block_begin_, end_), read position pos_.
  const char16_t* block_begin_ = nullptr;
  const char16_t* pos_ = nullptr;
  const char16_t* end_ = nullptr;
  int buffer_size_;
  common::TStream* stream_ = nullptr;
  common::TCustomMemoryStream* memory_ = nullptr;  // stream_ when it lies in memory
  int64_t stream_size_ = 0;
  int64_t next_byte_ = 0;   // stream position of the next undecoded byte
  int64_t start_byte_ = 0;  // stream position at InitStream
  std::unique_ptr<TBufferedReadStream> owned_stream_;
  // Positions: the characters before the block, the line count, and where the
  // line starts relative to the block's first character (below 0 when it
  // started in an earlier block).
  int64_t block_start_ = 0;
  int64_t line_start_ = 0;
  int64_t line_ = 1;
  char16_t block_last_ = 0;  // the character read just before the block
  TEncodingPtr encoding_;
  bool bom_found_ = false;
  bool undo_ = false;
  TErrorHandling error_handling_ = TErrorHandling::RaiseAndCatch;
  ITextParseErrorPtr parse_error_;
  bool eof_ = false;
  void (*block_callback_)(void*) = nullptr;
  void* block_context_ = nullptr;

  // Decoding storage, grown once and reused for every block.
  TDecodeKind decode_kind_ = TDecodeKind::Generic;
  std::vector<char> bytes_;
  std::unique_ptr<char16_t[]> units_;
  size_t units_capacity_ = 0;
  std::u16string decoded_;
  std::unique_ptr<platform::TCodePageDecoder> code_page_decoder_;
};

}  // namespace xml
