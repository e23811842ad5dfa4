#pragma once
// A pull tokenizer for XML 1.0 text: every ReadNextToken call delivers the next
// token (element start, attribute, end of the start tag, end tag, text, CDATA,
// comment, processing instruction, DOCTYPE, XML declaration and its attributes,
// or an entity reference), keeping the open elements on a stack.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/wide_string_list.h"
#include "xml/byte_buffer.h"
#include "xml/encoding.h"
#include "xml/hashed_strings.h"
#include "xml/text_reader.h"

namespace common {
class TStream;
}

namespace xml {

enum class TXMLReaderTokenType : uint8_t {
  None = 0,
  OpenXMLDeclaration = 1,
  XMLDeclarationAttribute = 2,
  FinishXMLDeclaration = 3,
  OpenElement = 4,
  Attribute = 5,
  FinishOpenElement = 6,       // ">"
  FinishOpenElementClose = 7,  // "/>"
  CloseElement = 8,
  Text = 9,
  EntityReference = 10,  // only with ExpandEntities off
  CData = 11,
  Comment = 12,
  ProcessingInstruction = 13,
  DocType = 14,
};

// A token's texts are valid until the next ReadNextToken: most of them refer
// straight into the reader's decoded text, others into its buffers.
struct TXMLReaderToken {
  std::u16string_view TokenName;
  std::u16string_view TokenValue;
  TXMLReaderTokenType TokenType = TXMLReaderTokenType::None;
};

namespace detail {

// True when text lies in the storage [begin, begin + size).
inline bool Within(std::u16string_view text, const char16_t* begin, size_t size) {
  const auto p = reinterpret_cast<uintptr_t>(text.data()), b = reinterpret_cast<uintptr_t>(begin);
  return p >= b && p < b + size * sizeof(char16_t);
}

}  // namespace detail

// The token records, reused from read to read. Records below Count() are the
// open elements (outermost first); the record at Count() is the current token.
// An open element's name refers into the reader's decoded text, or into the
// list's own storage, where the names are copied one after another.
class TXMLReaderTokenList {
 public:
  TXMLReaderTokenList() { records_.push_back(std::make_unique<TXMLReaderToken>()); }
  // There is always one record above the open elements.
  TXMLReaderToken& Current() { return *records_[static_cast<size_t>(count_)]; }
  // The current record becomes the top open element, with a copy of its name.
  void Push() {
    CopyName(Current());
    PushInPlace();
  }
  // The same for a name in the decoded text, which stays there until KeepNames.
  void PushInPlace() {
    if (static_cast<size_t>(++count_) == records_.size()) AddRecord();
  }
  // The popped record's name stays readable until the next push.
  void Pop() {
    if (count_ == 0) return;
    const std::u16string_view name = records_[static_cast<size_t>(--count_)]->TokenName;
    if (detail::Within(name, names_.get(), names_capacity_)) names_size_ -= name.size();
  }
  void Clear() {
    count_ = 0;
    names_size_ = 0;
  }
  // Copies the open elements' names that still refer into the decoded text,
  // before that text is replaced.
  void KeepNames();
  int Count() const { return count_; }
  const TXMLReaderToken& operator[](int index) const { return *records_[static_cast<size_t>(index)]; }
  TXMLReaderToken& Top() { return *records_[static_cast<size_t>(count_ - 1)]; }

 private:
  void CopyName(TXMLReaderToken& record);
  void AddRecord() { records_.push_back(std::make_unique<TXMLReaderToken>()); }

  // Each record stays in place as the pool grows: returned tokens point at it.
  std::vector<std::unique_ptr<TXMLReaderToken>> records_;
  int count_ = 0;
  // Copied names, in the order of their elements (the top one's last).
  std::unique_ptr<char16_t[]> names_;
  size_t names_size_ = 0;
  size_t names_capacity_ = 0;
};

enum class TXMLBreakReading : uint8_t { None = 0, AfterDocumentElement = 1 };
enum class TXMLLineBreak : uint8_t { LF = 0, CR = 1, CRLF = 2, AsIs = 3 };

// Entity names and their replacement texts; names are case-sensitive.
class TXMLReaderEntityList {
 public:
  TXMLReaderEntityList() { Reset(); }
  // Back to the five predefined entities.
  void Reset();
  // Adds the entity or replaces its text.
  void Add(std::u16string_view name, std::u16string_view value) { entities_.Add(name, value); }
  // The replacement text, or null for an unknown name.
  const std::u16string* Find(std::u16string_view name) const { return entities_.Find(name); }
  int Count() const { return entities_.Count(); }
  std::u16string_view Name(int index) const { return entities_.Name(index); }
  const std::u16string& Value(int index) const { return entities_.Value(index); }
  void Clear() { entities_.Clear(); }

 private:
  THashedStringDictionary entities_;
};

namespace detail {

// The attribute names of one start tag (or XML declaration), so that a repeated
// name is found. A few names are compared one by one (most tags have a few);
// tags with many attributes get a hash index.
class TAttributeNames {
 public:
  TAttributeNames() : names_(kLinear), keys_(kLinear) {}
  void Clear() {
    count_ = 0;
    size_ = 0;
    indexed_ = false;
  }
  // Adds name; false when the tag has it already. The name is copied, or, with
  // in_place, stays in the decoded text until Keep.
  bool Add(std::u16string_view name, bool in_place);
  // Copies the names that still refer into the decoded text, before that text
  // is replaced.
  void Keep();
  // The name added last (empty when none was).
  std::u16string_view Last() const { return count_ ? names_[count_ - 1] : std::u16string_view(); }

 private:
  static constexpr size_t kLinear = 16;
  // Length and end characters: enough to tell apart the names of one tag.
  static uint32_t Key(std::u16string_view name) {
    return static_cast<uint32_t>(name.size()) * 0x9E3779B1u ^ name.front() ^ (static_cast<uint32_t>(name.back()) << 16);
  }
  bool AddSlowly(std::u16string_view name, bool in_place);
  std::u16string_view Copy(std::u16string_view name);
  void Index(size_t index);
  void Rebuild();

  size_t count_ = 0;
  std::vector<std::u16string_view> names_;
  // Per name: its key, a hash of the whole name once indexed.
  std::vector<uint32_t> keys_;
  bool indexed_ = false;
  std::vector<int32_t> slots_;         // open addressing over the names, -1 for a free slot
  std::unique_ptr<char16_t[]> chars_;  // copied names
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace detail

// The reason a strict read gives for a text without a document element, for a
// caller that treats such a text as empty.
inline constexpr char16_t kNoDocumentElement[] = u"There is no document element in the document.";

struct TXMLReaderSettings {
  TXMLBreakReading BreakReading = TXMLBreakReading::AfterDocumentElement;
  TXMLLineBreak LineBreak = TXMLLineBreak::CRLF;
  bool StrictXML = true;
  bool RecognizeXMLDeclaration = true;
  bool ExpandEntities = true;
  TErrorHandling ErrorHandling = TErrorHandling::RaiseAndCatch;
  TXMLReaderEntityList EntityList;
};

class TXMLReader {
 public:
  // Blocks of buffer_size bytes are decoded at a time.
  explicit TXMLReader(int buffer_size = 16384);
  TXMLReader(const TXMLReader&) = delete;
  TXMLReader& operator=(const TXMLReader&) = delete;

  // Starts reading stream (which the caller keeps). Without a forced encoding
  // the text is UTF-8 unless a byte order mark or the XML declaration says
  // otherwise; a forced encoding applies from the first byte.
  void InitStream(common::TStream& stream, TEncodingPtr forced_encoding = nullptr);
  // True when a token was read; the token stays valid until the next call.
  // False at the end of the text, after the document element (by BreakReading)
  // or on a parse error, which ParseError() then holds.
  bool ReadNextToken(const TXMLReaderToken*& token);

  const ITextParseErrorPtr& ParseError() const { return text_.ParseError(); }
  void ReleaseStream() { text_.ReleaseStream(); }
  // Lets BreakReading stop again when the next element opened from here closes.
  void ClearElementOpened() { element_opened_ = false; }
  int OpenElementCount() const { return tokens_.Count(); }
  // The names of the open elements, outermost first.
  void GetElementPath(common::TWideStringList& path) const;
  // The name of open element index (0: the outermost).
  std::u16string_view OpenElementName(int index) const { return tokens_[index].TokenName; }
  // True when path holds exactly the names of the open elements, in order.
  bool IsElementPath(const common::TWideStringList& path) const;

  const std::u16string& URL() const { return text_.URL(); }
  void SetURL(std::u16string url) { text_.SetURL(std::move(url)); }
  TXMLReaderSettings& Settings() { return settings_; }
  const TXMLReaderSettings& Settings() const { return settings_; }
  const TTextReader& TextReader() const { return text_; }

  bool EncodingSwitchPossible() const { return switch_possible_; }
  bool EncodingForced() const { return encoding_forced_; }
  bool ElementOpened() const { return element_opened_; }
  int PendingCloses() const { return pending_closes_; }
  TXMLReaderTokenType LastTokenType() const { return last_type_; }

 private:
  friend struct TXMLReaderTesting;  // switches the block fast path off for comparisons
  enum class TRead { Token, Stop, Again };

  bool ReadNextTokenSlowly(const TXMLReaderToken*& token);
  TRead ReadToken(TXMLReaderToken*& token);
  bool ReadFastToken(TXMLReaderToken& current, TXMLReaderToken*& token);
  TRead ReadHeaderPart(TXMLReaderToken& current, TXMLReaderToken*& token, char16_t ch);
  TRead FinishHeader(TXMLReaderToken*& token, char16_t ch);
  TRead ReadAttribute(TXMLReaderToken& token, char16_t ch);
  bool ReadQuotedValue(std::u16string& value, char16_t quote);
  bool ReadUnquotedValue(std::u16string& value, char16_t ch);
  TRead ReadMarkup(TXMLReaderToken& token);
  TRead ReadElementStart(TXMLReaderToken& token, char16_t ch);
  TRead ReadEndTag(TXMLReaderToken& token);
  TRead ReadProcessingInstruction(TXMLReaderToken& token);
  TRead ReadMarkupDeclaration(TXMLReaderToken& token, char16_t ch);
  TRead ReadMarkupContent(TXMLReaderToken& token, int kind);
  bool ReadInternalSubset(std::u16string& content, bool& ended);
  bool ReadEntityDeclaration(std::u16string& content, bool& ended);
  TRead ReadText(TXMLReaderToken& token, bool has_char, char16_t ch);
  TRead ReadOutsideText(TXMLReaderToken& token, char16_t ch);
  void TakeCommentRun(std::u16string& out);
  bool CheckDeclaration(const TXMLReaderToken& token);
  TRead ReadEntityReferenceToken(TXMLReaderToken& token);
  bool ExpandReference();
  TRead ReferenceError();
  bool AppendReference(std::u16string& out, bool strict);
  void AppendLineBreak(std::u16string& out, char16_t ch);
  bool SkipWhiteSpace(char16_t& ch);
  bool SwitchEncoding(const TXMLReaderToken*& token, const TXMLReaderToken& attribute);
  static void BeforeNextBlock(void* reader);
  void ElementStarted();
  void ReleaseHold();

  // Takes the plain run at the read position into out, up to the first
  // character that has one of the stop flags (which include CR and LF).
  template <uint8_t kStopFlags>
  void TakeRun(std::u16string& out);
  // Takes the run of name characters at the read position into out.
  void TakeNameRun(std::u16string& out);
  // Takes the run of lenient name characters (up to a terminator) into out.
  void TakeLenientNameRun(std::u16string& out);
  // Reads the rest of a name into name, across blocks; ch receives the
  // character after it. False at the end of the text.
  bool ReadName(std::u16string& name, char16_t& ch);
  bool ReadLenientName(std::u16string& name, char16_t& ch);

  TRead InvalidCharacter(std::u16string_view format, std::initializer_list<std::u16string_view> args);
  TRead InvalidCharacter(std::u16string_view format, std::u16string_view arg) {
    return InvalidCharacter(format, {arg});
  }
  TRead InvalidStructure(std::u16string_view format, std::initializer_list<std::u16string_view> args);
  TRead Unterminated(std::u16string_view message);

  TXMLReaderSettings settings_;
  TXMLReaderTokenList tokens_;
  TTextReader text_;
  bool switch_possible_ = false;
  TXMLReaderTokenType last_type_ = TXMLReaderTokenType::None;
  bool element_opened_ = false;
  bool encoding_forced_ = false;
  int pending_closes_ = 0;
  bool buffer_held_ = false;
  bool document_element_ = false;  // an element has opened at the top level
  // Reading has ended without an error: an encoding switch found no declaration
  // to read again, so the text holds nothing readable.
  bool ended_ = false;
  // The XML declaration's attributes so far: 0 none, 1 version, 2 encoding, 3 standalone.
  int declaration_part_ = 0;
  detail::TAttributeNames attribute_names_;
  bool fast_path_ = true;
  // The fast path may be tried: no error, no end, no closes pending.
  bool fast_ready_ = false;
  // Per-call copies of the settings that the inner loops test.
  bool strict_ = true;
  bool expand_ = true;
  // The main character buffer (reference names) and the reference buffer (the
  // raw text of a reference). The replacement of the last reference, and whether
  // the character that ended it was given back to the text reader.
  // The texts of a token read character by character.
  std::u16string name_, value_;
  TByteBuffer buffer_;
  TByteBuffer reference_;
  std::u16string_view replacement_;
  char16_t numeric_[2] = {};
  bool reference_gave_back_ = false;
  bool reference_too_large_ = false;
  size_t expansion_budget_ = 0;
  std::u16string entity_name_, entity_value_;
};

}  // namespace xml
