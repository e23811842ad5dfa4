#include "xml/text_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <typeinfo>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/buffered_read_stream.h"

namespace xml {

std::u16string FormatReason(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
  std::u16string text;
  text.reserve(format.size() + 32);
  auto arg = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
      if (arg != args.end()) text += *arg++;
      ++i;
    } else {
      text += format[i];
    }
  }
  return text;
}

namespace {

// The continuation bytes that the last sequence of a block lacks, by the lead
// byte masks: 110xxxxx, 1110xxxx, 11110xxx, 111110xx and 1111110x.
int64_t MissingUtf8Bytes(const unsigned char* bytes, int64_t count) {
  for (int64_t back = 1; back <= std::min<int64_t>(5, count); ++back) {
    const unsigned char c = bytes[count - back];
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    int length = 1;
    if ((c & 0xE0) == 0xC0)
      length = 2;
    else if ((c & 0xF0) == 0xE0)
      length = 3;
    else if ((c & 0xF8) == 0xF0)
      length = 4;
    else if ((c & 0xFC) == 0xF8)
      length = 5;
    else if ((c & 0xFE) == 0xFC)
      length = 6;
    return length - back;
  }
  return 0;
}

}  // namespace

TTextReader::TTextReader(int buffer_size) : buffer_size_(std::max(buffer_size, 16)) {}

TTextReader::~TTextReader() = default;

void TTextReader::ReleaseStream() {
  owned_stream_.reset();
  stream_ = nullptr;
  memory_ = nullptr;
}

void TTextReader::HoldBuffer() {
  if (owned_stream_) owned_stream_->HoldBuffer();
}

void TTextReader::ReleaseBuffer() {
  if (owned_stream_) owned_stream_->ReleaseBuffer();
}

void TTextReader::EmptyBlock() { block_begin_ = pos_ = end_ = nullptr; }

void TTextReader::ResetPosition() {
  block_start_ = 0;
  line_start_ = 0;
  line_ = 1;
  block_last_ = 0;
  undo_ = false;
}

void TTextReader::ChooseDecoder() {
  code_page_decoder_.reset();
  const TEncoding& encoding = *encoding_;
  const std::type_info& type = typeid(encoding);
  if (type == typeid(TUTF8Encoding)) {
    decode_kind_ = TDecodeKind::Utf8;
  } else if (type == typeid(TUnicodeEncoding)) {
    decode_kind_ = TDecodeKind::Utf16LE;
  } else if (type == typeid(TBigEndianUnicodeEncoding)) {
    decode_kind_ = TDecodeKind::Utf16BE;
  } else if ((type == typeid(TMBCSEncoding) || type == typeid(TUTF7Encoding)) &&
             platform::IsCodePageSupported(encoding.CodePage())) {
    // A converter that carries state from block to block completes a
    // double-byte character (or a UTF-7 run) cut at a block end.
    decode_kind_ = TDecodeKind::CodePage;
    code_page_decoder_ = std::make_unique<platform::TCodePageDecoder>(encoding.CodePage());
  } else {
    decode_kind_ = TDecodeKind::Generic;
  }
}

void TTextReader::InitStream(common::TStream& stream, TEncodingPtr default_encoding) {
  eof_ = false;
  ReleaseStream();
  if (auto* memory = dynamic_cast<common::TCustomMemoryStream*>(&stream)) {
    stream_ = memory;
    memory_ = memory;
  } else if (dynamic_cast<common::THandleStream*>(&stream)) {
    stream_ = &stream;
  } else {
    owned_stream_ = std::make_unique<TBufferedReadStream>(&stream, buffer_size_, false);
    stream_ = owned_stream_.get();
  }
  start_byte_ = next_byte_ = stream_->Position();
  stream_size_ = stream_->Size();
  parse_error_.reset();
  HoldBuffer();
  struct Release {
    TTextReader* reader;
    ~Release() { reader->ReleaseBuffer(); }
  } release{this};
  int64_t position = next_byte_;
  encoding_ = DetectByteOrderMark(*stream_, position, std::move(default_encoding));
  bom_found_ = position != next_byte_;
  next_byte_ = position;
  ChooseDecoder();
  EmptyBlock();
  ResetPosition();
  url_.clear();
}

void TTextReader::SetEncoding(TEncodingPtr encoding) {
  if (!encoding) return;
  if (encoding.get() == encoding_.get()) {
    (void)encoding.release();  // the same object, already held
    return;
  }
  encoding_ = std::move(encoding);
  ChooseDecoder();
  next_byte_ = start_byte_;
  if (stream_) stream_->Seek(start_byte_, common::TSeekOrigin::soBeginning);
  EmptyBlock();
  // The text is read again from its first character, so are its lines.
  ResetPosition();
}

void TTextReader::AtEnd() {
  eof_ = true;
  ReleaseStream();
}

bool TTextReader::DecodeBlock() {
  if (block_callback_) block_callback_(block_context_);
  // The block in hand, all read, before its storage is reused.
  const int64_t consumed = end_ - block_begin_;
  const char16_t last_read = Before(end_);
  for (;;) {
    if (!stream_) return false;
    const int64_t left = stream_size_ - next_byte_;
    int64_t n = std::min<int64_t>(buffer_size_, left);
    if (n <= 0) return false;
    // UTF-16 blocks hold whole code units, whatever the block size.
    if ((n & 1) && n < left && n > 1 && (decode_kind_ == TDecodeKind::Utf16LE || decode_kind_ == TDecodeKind::Utf16BE))
      --n;

    // The block's bytes: straight from memory when the stream lies there.
    const char* bytes;
    int64_t count;
    if (memory_) {
      const int64_t available = std::max<int64_t>(memory_->Size() - next_byte_, 0);
      count = std::min(n, available);
      bytes = reinterpret_cast<const char*>(memory_->Memory()) + next_byte_;
    } else {
      if (bytes_.size() < static_cast<size_t>(n) + 16) bytes_.resize(static_cast<size_t>(n) + 16);
      count = std::max<int64_t>(stream_->Read(bytes_.data(), n), 0);
      bytes = bytes_.data();
    }
    if (count == 0) {
      // The stream ended before its size said; nothing more will come.
      stream_size_ = next_byte_;
      return false;
    }

    // A UTF-8 sequence cut at the block end is completed from the stream. The
    // bytes added may end in a cut sequence again when the text is not valid
    // UTF-8; a few more rounds settle that without letting the block grow long.
    if (dynamic_cast<const TUTF8Encoding*>(encoding_.get()) && count == n) {
      for (int round = 0; round < 8; ++round) {
        const int64_t missing = std::min<int64_t>(
            MissingUtf8Bytes(reinterpret_cast<const unsigned char*>(bytes), count), stream_size_ - next_byte_ - count);
        if (missing <= 0) break;
        int64_t got;
        if (memory_) {
          got = std::min(missing, std::max<int64_t>(memory_->Size() - next_byte_ - count, 0));
        } else {
          if (bytes_.size() < static_cast<size_t>(count + missing)) bytes_.resize(static_cast<size_t>(count + missing));
          bytes = bytes_.data();
          got = std::max<int64_t>(stream_->Read(bytes_.data() + count, missing), 0);
        }
        count += got;
        if (got < missing) break;
      }
    }
    next_byte_ += count;
    if (memory_) memory_->Seek(next_byte_, common::TSeekOrigin::soBeginning);
    const bool last = next_byte_ >= stream_size_ || count < n;
    const std::string_view block(bytes, static_cast<size_t>(count));

    const char16_t* begin = nullptr;
    size_t length = 0;
    switch (decode_kind_) {
      case TDecodeKind::Utf8: {
        if (units_capacity_ < block.size()) {
          units_capacity_ = std::max(block.size(), static_cast<size_t>(buffer_size_) + 8);
          units_ = std::make_unique<char16_t[]>(units_capacity_);
        }
        length = platform::DecodeUtf8ToUtf16(block.data(), block.size(), units_.get());
        begin = units_.get();
        break;
      }
      case TDecodeKind::Utf16LE:
      case TDecodeKind::Utf16BE: {
        length = block.size() / 2;
        if (length == 0) break;
        if (units_capacity_ < length) {
          units_capacity_ = std::max(length, static_cast<size_t>(buffer_size_));
          units_ = std::make_unique<char16_t[]>(units_capacity_);
        }
        const bool swap = (decode_kind_ == TDecodeKind::Utf16BE) == (std::endian::native == std::endian::little);
        if (!swap) {
          std::memcpy(units_.get(), block.data(), length * 2);
        } else {
          const auto* b = reinterpret_cast<const unsigned char*>(block.data());
          for (size_t i = 0; i < length; ++i) units_[i] = static_cast<char16_t>((b[2 * i] << 8) | b[2 * i + 1]);
        }
        begin = units_.get();
        break;
      }
      case TDecodeKind::CodePage:
        decoded_.clear();
        code_page_decoder_->Decode(block, decoded_, last);
        begin = decoded_.data();
        length = decoded_.size();
        break;
      case TDecodeKind::Generic:
        if (!encoding_->DecodeBytes(block, decoded_) || (decoded_.empty() && !block.empty()))
          EncodingAscii()->DecodeBytes(block, decoded_);
        begin = decoded_.data();
        length = decoded_.size();
        break;
    }
    if (length == 0) continue;  // held back for the next block, or an odd byte
    block_start_ += consumed;
    line_start_ -= consumed;
    block_last_ = last_read;
    block_begin_ = pos_ = begin;
    end_ = begin + length;
    return true;
  }
}

void TTextReader::UndoTwice() {
  throw ETextReader("Unsupported: you tried to run the undo function two times in a row.");
}

void TTextReader::SkipRun(const char16_t* stop) {
  for (const char16_t* p = pos_; p < stop; ++p)
    if (*p == u'\n' || *p == u'\r') LineBreak(p);
  pos_ = stop;
}

std::u16string TTextReader::ReadPreviousString(int max, bool trim_to_line_start) const {
  if (!pos_ || max <= 0) return {};
  const char16_t* start = pos_ - std::min<int64_t>(max, pos_ - block_begin_);
  if (trim_to_line_start) {
    for (const char16_t* p = pos_; p > start; --p) {
      if (p[-1] == u'\r' || p[-1] == u'\n') {
        start = p;
        break;
      }
    }
  }
  return std::u16string(start, pos_);
}

std::u16string TTextReader::ReadString(int max, bool stop_at_line_break) {
  std::u16string text;
  char16_t ch;
  for (int i = 0; i < max && ReadNextChar(ch); ++i) {
    if (stop_at_line_break && (ch == u'\r' || ch == u'\n')) {
      UndoRead();
      break;
    }
    text += ch;
  }
  return text;
}

void TTextReader::RaiseParseErrorRecord(std::shared_ptr<TTextParseError> record, std::u16string reason) {
  const int64_t line = line_, line_position = LinePosition();
  std::u16string stub = ReadPreviousString(30, true);
  const int stub_position = static_cast<int>(stub.size());
  stub += ReadString(10, true);
  record->Set(url_, std::move(reason), line, line_position, std::move(stub), stub_position);
  parse_error_ = record;
  switch (error_handling_) {
    case TErrorHandling::Silent:
      break;
    case TErrorHandling::RaiseAndCatch:
      record->RaiseAndCatchException();
      break;
    case TErrorHandling::Raise:
      record->RaiseException();
  }
}

}  // namespace xml
