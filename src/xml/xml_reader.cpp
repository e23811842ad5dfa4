#include "xml/xml_reader.h"

#include "xml/char_scan.h"
#include "xml/xml_chars.h"

namespace xml {

namespace {

using TT = TXMLReaderTokenType;

constexpr char16_t kCR = u'\r', kLF = u'\n';

std::u16string Hex4(char16_t c, bool prefix) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = prefix ? u"0x" : u"";
  for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(c >> shift) & 0xF];
  return text;
}

inline char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

inline bool IsWhite(char16_t c) { return kXMLCharFlags[c] & cfWhite; }

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view LineBreakText(TXMLLineBreak kind) {
  switch (kind) {
    case TXMLLineBreak::LF:
      return u"\n";
    case TXMLLineBreak::CR:
      return u"\r";
    default:
      return u"\r\n";
  }
}

const char16_t kUnclosedElements[] = u"There are unclosed elements in the document end.";
const char16_t kUnclosedComment[] = u"There is an unclosed comment in the document end.";
const char16_t kUnclosedCData[] = u"There is an unclosed CDATA section in the document end.";
const char16_t kUnclosedInstruction[] = u"There is an unclosed processing instruction in the document end.";
const char16_t kUnclosedDocType[] = u"There is an unclosed DOCTYPE in the document end.";
const char16_t kCannotOccurInText[] = u"The character \"%s\" cannot occur in text.";
const char16_t kCannotOccurInAttribute[] = u"The character \"%s\" cannot occur in attribute.";
const char16_t kCannotOccurInHeader[] = u"The character \"%s\" cannot occur in element header.";
const char16_t kStringCannotOccur[] = u"The string \"%s\" cannot occur in text.";
const char16_t kBadEntity[] = u"\"%s\" is not a valid entity.";
const char16_t kTooMuchExpansion[] = u"Too many characters from entity references at \"%s\".";
const char16_t kSecondDocumentElement[] = u"There is a second document element \"%s\" in the document.";
const char16_t kCharacterOutside[] = u"The character \"%s\" cannot occur outside the document element.";
const char16_t kStringOutside[] = u"The string \"%s\" cannot occur outside the document element.";
const char16_t kDashesInComment[] = u"The string \"%s\" cannot occur in comment.";
const char16_t kRepeatedAttribute[] = u"The attribute \"%s\" cannot occur twice in element header.";
const char16_t kWhiteSpaceAfterAttribute[] = u"White space must follow the attribute \"%s\".";
const char16_t kDeclarationVersion[] = u"The XML declaration must start with the attribute \"version\".";
const char16_t kDeclarationOrder[] = u"The attribute \"%s\" is out of order in XML declaration.";
const char16_t kDeclarationName[] = u"The attribute \"%s\" cannot occur in XML declaration.";
const char16_t kDeclarationValue[] = u"\"%s\" is not a valid value of the attribute \"%s\".";

// Declared entities may expand to this many characters in one document, so
// that nested declarations cannot blow a small text up to gigabytes.
constexpr size_t kExpansionBudget = size_t{1} << 24;

// The kinds of markup declaration and the text that follows "<!" in each.
enum { kComment, kCData, kDocType };
constexpr std::u16string_view kOpening[] = {u"--", u"[CDATA[", u"DOCTYPE"};
constexpr std::u16string_view kClosing[] = {u"-->", u"]]>", u">"};
const char16_t* const kUnclosed[] = {kUnclosedComment, kUnclosedCData, kUnclosedDocType};
constexpr TT kMarkupType[] = {TT::Comment, TT::CData, TT::DocType};

inline bool EndsWith(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

inline bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
inline bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "1." and digits.
bool IsVersionNumber(std::u16string_view v) {
  if (v.size() < 3 || v[0] != u'1' || v[1] != u'.') return false;
  for (char16_t c : v.substr(2))
    if (!IsAsciiDigit(c)) return false;
  return true;
}

// A letter, then letters, digits, ".", "_" and "-".
bool IsEncodingName(std::u16string_view v) {
  if (v.empty() || !IsAsciiLetter(v[0])) return false;
  for (char16_t c : v.substr(1))
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != u'.' && c != u'_' && c != u'-') return false;
  return true;
}

// "<?xml" (any case) and white space or "?": the text starts with an XML declaration.
bool StartsWithDeclaration(std::u16string_view text) {
  return text.size() >= 6 && text[0] == u'<' && text[1] == u'?' && AsciiUpper(text[2]) == u'X' &&
         AsciiUpper(text[3]) == u'M' && AsciiUpper(text[4]) == u'L' && (IsWhite(text[5]) || text[5] == u'?');
}

uint32_t NameHash(std::u16string_view name) {
  uint32_t h = 2166136261u;
  for (char16_t c : name) h = (h ^ c) * 16777619u;
  return h;
}

}  // namespace

namespace detail {

// In the tokenizer's innermost loop.
VORLANEX_XML_INLINE bool TAttributeNames::Add(std::u16string_view name, bool in_place) {
  if (!in_place || indexed_ || name.empty() || count_ + 1 >= kLinear) return AddSlowly(name, in_place);
  const uint32_t key = Key(name);
  for (size_t i = 0; i < count_; ++i)
    if (keys_[i] == key && names_[i] == name) return false;
  names_[count_] = name;
  keys_[count_++] = key;
  return true;
}

bool TAttributeNames::AddSlowly(std::u16string_view name, bool in_place) {
  if (!indexed_ && count_ + 1 >= kLinear) Rebuild();
  uint32_t key;
  if (!indexed_) {
    key = name.empty() ? 0 : Key(name);
    for (size_t i = 0; i < count_; ++i)
      if (keys_[i] == key && names_[i] == name) return false;
  } else {
    key = NameHash(name);
    const size_t mask = slots_.size() - 1;
    for (size_t slot = key & mask; slots_[slot] >= 0; slot = (slot + 1) & mask) {
      const auto i = static_cast<size_t>(slots_[slot]);
      if (keys_[i] == key && names_[i] == name) return false;
    }
  }
  if (count_ == names_.size()) {
    names_.resize(2 * count_);
    keys_.resize(2 * count_);
  }
  names_[count_] = in_place ? name : Copy(name);
  keys_[count_++] = key;
  if (indexed_) {
    if (2 * count_ > slots_.size())
      Rebuild();
    else
      Index(count_ - 1);
  }
  return true;
}

std::u16string_view TAttributeNames::Copy(std::u16string_view name) {
  if (size_ + name.size() > capacity_) {
    const size_t capacity = std::max({size_t{256}, 2 * capacity_, size_ + name.size()});
    auto chars = std::make_unique<char16_t[]>(capacity);
    if (size_) std::char_traits<char16_t>::copy(chars.get(), chars_.get(), size_);
    // The names copied before move with their storage.
    for (size_t i = 0; i < count_; ++i)
      if (Within(names_[i], chars_.get(), capacity_))
        names_[i] = {chars.get() + (names_[i].data() - chars_.get()), names_[i].size()};
    chars_ = std::move(chars);
    capacity_ = capacity;
  }
  char16_t* const out = chars_.get() + size_;
  if (!name.empty()) std::char_traits<char16_t>::copy(out, name.data(), name.size());
  size_ += name.size();
  return {out, name.size()};
}

void TAttributeNames::Keep() {
  for (size_t i = 0; i < count_; ++i)
    if (!Within(names_[i], chars_.get(), capacity_)) names_[i] = Copy(names_[i]);
}

void TAttributeNames::Index(size_t index) {
  const size_t mask = slots_.size() - 1;
  size_t slot = keys_[index] & mask;
  while (slots_[slot] >= 0) slot = (slot + 1) & mask;
  slots_[slot] = static_cast<int32_t>(index);
}

void TAttributeNames::Rebuild() {
  // The cheap keys become hashes of the whole names.
  if (!indexed_) {
    for (size_t i = 0; i < count_; ++i) keys_[i] = NameHash(names_[i]);
    indexed_ = true;
  }
  // At most half the slots in use.
  size_t size = 64;
  while (size < 4 * count_) size *= 2;
  slots_.assign(size, -1);
  for (size_t i = 0; i < count_; ++i) Index(i);
}

}  // namespace detail

void TXMLReaderTokenList::CopyName(TXMLReaderToken& record) {
  const size_t length = record.TokenName.size();
  if (names_size_ + length > names_capacity_) {
    const size_t capacity = std::max({size_t{256}, 2 * names_capacity_, names_size_ + length});
    auto names = std::make_unique<char16_t[]>(capacity);
    if (names_size_) std::char_traits<char16_t>::copy(names.get(), names_.get(), names_size_);
    // The names copied before move with their storage.
    for (int i = 0; i < count_; ++i) {
      TXMLReaderToken& open = *records_[static_cast<size_t>(i)];
      if (detail::Within(open.TokenName, names_.get(), names_capacity_))
        open.TokenName = {names.get() + (open.TokenName.data() - names_.get()), open.TokenName.size()};
    }
    // The old storage lives until the new name is in.
    std::swap(names_, names);
    names_capacity_ = capacity;
    if (length) std::char_traits<char16_t>::copy(names_.get() + names_size_, record.TokenName.data(), length);
  } else if (length) {
    std::char_traits<char16_t>::copy(names_.get() + names_size_, record.TokenName.data(), length);
  }
  record.TokenName = {names_.get() + names_size_, length};
  names_size_ += length;
}

void TXMLReaderTokenList::KeepNames() {
  bool all_kept = true;
  size_t total = 0;
  for (int i = 0; i < count_; ++i) {
    const std::u16string_view name = records_[static_cast<size_t>(i)]->TokenName;
    all_kept = all_kept && detail::Within(name, names_.get(), names_capacity_);
    total += name.size();
  }
  if (all_kept) return;
  if (total > names_capacity_) {
    // All names into new storage, in their order.
    const size_t capacity = std::max(size_t{256}, 2 * total);
    auto names = std::make_unique<char16_t[]>(capacity);
    size_t size = 0;
    for (int i = 0; i < count_; ++i) {
      TXMLReaderToken& open = *records_[static_cast<size_t>(i)];
      const size_t length = open.TokenName.size();
      std::char_traits<char16_t>::copy(names.get() + size, open.TokenName.data(), length);
      open.TokenName = {names.get() + size, length};
      size += length;
    }
    names_ = std::move(names);
    names_capacity_ = capacity;
    names_size_ = size;
    return;
  }
  // In place, from the top down: each name moves up to where the names below it
  // end (the copied ones lie in order, each at or below that place), or comes
  // in from the decoded text.
  size_t end = total;
  for (int i = count_ - 1; i >= 0; --i) {
    TXMLReaderToken& open = *records_[static_cast<size_t>(i)];
    const size_t length = open.TokenName.size();
    end -= length;
    char16_t* const name = names_.get() + end;
    std::char_traits<char16_t>::move(name, open.TokenName.data(), length);
    open.TokenName = {name, length};
  }
  names_size_ = total;
}

void TXMLReaderEntityList::Reset() {
  entities_.Clear();
  entities_.Add(u"quot", u"\"");
  entities_.Add(u"amp", u"&");
  entities_.Add(u"apos", u"'");
  entities_.Add(u"lt", u"<");
  entities_.Add(u"gt", u">");
}

TXMLReader::TXMLReader(int buffer_size) : text_(buffer_size), buffer_(1024), reference_(16) {
  text_.SetBlockCallback(&TXMLReader::BeforeNextBlock, this);
  // Room for the usual names and values read character by character, so that
  // reading does not allocate once under way.
  name_.reserve(256);
  value_.reserve(512);
}

void TXMLReader::BeforeNextBlock(void* reader) {
  // Names taken straight from the decoded text must outlive it.
  auto& self = *static_cast<TXMLReader*>(reader);
  self.tokens_.KeepNames();
  self.attribute_names_.Keep();
}

void TXMLReader::InitStream(common::TStream& stream, TEncodingPtr forced_encoding) {
  text_.InitStream(stream, Shared(EncodingUTF8()));
  switch_possible_ = !text_.BOMFound();
  element_opened_ = false;
  pending_closes_ = 0;
  last_type_ = TT::None;
  tokens_.Clear();
  document_element_ = false;
  ended_ = false;
  fast_ready_ = fast_path_;
  declaration_part_ = 0;
  attribute_names_.Clear();
  expansion_budget_ = kExpansionBudget;
  text_.SetErrorHandling(settings_.ErrorHandling);
  text_.HoldBuffer();
  buffer_held_ = true;
  encoding_forced_ = forced_encoding != nullptr;
  if (forced_encoding) text_.SetEncoding(std::move(forced_encoding));
}

void TXMLReader::GetElementPath(common::TWideStringList& path) const {
  path.Clear();
  for (int i = 0; i < tokens_.Count(); ++i) path.Add(tokens_[i].TokenName);
}

bool TXMLReader::IsElementPath(const common::TWideStringList& path) const {
  if (path.Count() != tokens_.Count()) return false;
  // From the innermost element out: siblings share their parents' names.
  for (int i = tokens_.Count() - 1; i >= 0; --i)
    if (path[i] != tokens_[i].TokenName) return false;
  return true;
}

void TXMLReader::ReleaseHold() {
  // The text read so far is no longer needed for an encoding switch.
  if (buffer_held_) {
    buffer_held_ = false;
    text_.ReleaseBuffer();
  }
}

void TXMLReader::ElementStarted() {
  switch_possible_ = false;
  ReleaseHold();
  element_opened_ = true;
  if (tokens_.Count() == 0) document_element_ = true;
  attribute_names_.Clear();
}

// --- errors --------------------------------------------------------------------

// Reading ends at an error: the fast path is closed before the error is
// raised (which may throw, by the error handling setting).
TXMLReader::TRead TXMLReader::InvalidCharacter(std::u16string_view format,
                                               std::initializer_list<std::u16string_view> args) {
  fast_ready_ = false;
  text_.RaiseParseError<TXMLParseErrorInvalidCharacter>(format, args);
  return TRead::Stop;
}

TXMLReader::TRead TXMLReader::InvalidStructure(std::u16string_view format,
                                               std::initializer_list<std::u16string_view> args) {
  fast_ready_ = false;
  text_.RaiseParseError<TXMLParseErrorInvalidStructure>(format, args);
  return TRead::Stop;
}

TXMLReader::TRead TXMLReader::Unterminated(std::u16string_view message) {
  // In lenient mode the text just ends.
  if (strict_) return InvalidStructure(message, {});
  return TRead::Stop;
}

// --- runs ------------------------------------------------------------------------

namespace {

template <uint8_t kStopFlags>
const char16_t* FindRunEnd(const char16_t* p, const char16_t* end) {
  if constexpr (kStopFlags == cfTextStop) {
    return detail::FindTextStop(p, end);
  } else if constexpr (kStopFlags == cfAttrStop) {
    return detail::FindAttributeStop(p, end);
  } else {
    while (p != end && !(kXMLCharFlags[*p] & kStopFlags)) ++p;
    return p;
  }
}

}  // namespace

template <uint8_t kStopFlags>
void TXMLReader::TakeRun(std::u16string& out) {
  const char16_t* const begin = text_.RunBegin();
  const char16_t* const p = FindRunEnd<kStopFlags>(begin, text_.RunEnd());
  if (p != begin) {
    out.append(begin, static_cast<size_t>(p - begin));
    text_.SkipPlainRun(p);
  }
}

void TXMLReader::TakeNameRun(std::u16string& out) {
  const char16_t* const begin = text_.RunBegin();
  const char16_t* const end = text_.RunEnd();
  const char16_t* p = detail::SkipNameChars(begin, end);
  if (p != begin) {
    out.append(begin, static_cast<size_t>(p - begin));
    text_.SkipPlainRun(p);  // name characters hold no line break
  }
}

void TXMLReader::TakeLenientNameRun(std::u16string& out) { TakeRun<cfTerminator>(out); }

bool TXMLReader::ReadName(std::u16string& name, char16_t& ch) {
  for (;;) {
    TakeNameRun(name);
    if (!text_.ReadNextChar(ch)) return false;
    if (!IsXMLNameChar(ch)) return true;
    name += ch;  // the name goes on in the next block
  }
}

bool TXMLReader::ReadLenientName(std::u16string& name, char16_t& ch) {
  for (;;) {
    TakeLenientNameRun(name);
    if (!text_.ReadNextChar(ch)) return false;
    if (kXMLCharFlags[ch] & cfTerminator) return true;
    name += ch;
  }
}

bool TXMLReader::SkipWhiteSpace(char16_t& ch) {
  // ch is the character just read; on return it is the first one that is not
  // white space. False at the end of the text.
  while (IsWhite(ch)) {
    const char16_t* p = text_.RunBegin();
    const char16_t* const end = text_.RunEnd();
    const char16_t* const begin = p;
    while (p != end && (*p == u' ' || *p == u'\t')) ++p;
    if (p != begin) text_.SkipPlainRun(p);
    if (!text_.ReadNextChar(ch)) return false;
  }
  return true;
}

void TXMLReader::AppendLineBreak(std::u16string& out, char16_t ch) {
  if (settings_.LineBreak == TXMLLineBreak::AsIs) {
    out += ch;
    return;
  }
  if (ch == kCR) {
    char16_t next;
    if (text_.ReadNextChar(next) && next != kLF) text_.UndoRead();
  }
  out += LineBreakText(settings_.LineBreak);
}

// --- references ------------------------------------------------------------------

bool TXMLReader::ExpandReference() {
  // After "&". The raw text collects in reference_, the name in buffer_.
  reference_.Clear();
  reference_.Append(u'&');
  buffer_.Clear();
  reference_gave_back_ = false;
  reference_too_large_ = false;
  char16_t ch;
  if (!text_.ReadNextChar(ch)) return false;
  reference_.Append(ch);
  if (ch == u'#') {
    buffer_.Append(u'#');
    if (!text_.ReadNextChar(ch)) return false;
    reference_.Append(ch);
    const bool hex = ch == u'x';
    if (hex) {
      buffer_.Append(u'x');
      if (!text_.ReadNextChar(ch)) return false;
      reference_.Append(ch);
    }
    uint32_t value = 0;
    bool too_large = false;
    int digits = 0;
    for (;;) {
      int digit;
      if (ch >= u'0' && ch <= u'9')
        digit = ch - u'0';
      else if (hex && ch >= u'a' && ch <= u'f')
        digit = ch - u'a' + 10;
      else if (hex && ch >= u'A' && ch <= u'F')
        digit = ch - u'A' + 10;
      else
        break;
      value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      if (value > 0x10FFFF) {
        too_large = true;
        value = 0x110000;  // stays above every character however many digits follow
      }
      ++digits;
      buffer_.Append(ch);
      if (!text_.ReadNextChar(ch)) return false;
      reference_.Append(ch);
    }
    if (ch != u';') {
      text_.UndoRead();
      reference_gave_back_ = true;
      return false;
    }
    if (digits == 0 || too_large) return false;
    if (strict_) {
      const bool valid =
          value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value <= 0xFFFD) || value >= 0x10000;
      if (!valid) return false;
    }
    if (value >= 0x10000) {
      // The character itself, as its surrogate pair.
      numeric_[0] = static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      numeric_[1] = static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
      replacement_ = std::u16string_view(numeric_, 2);
    } else {
      numeric_[0] = static_cast<char16_t>(value);
      replacement_ = std::u16string_view(numeric_, 1);
    }
    return true;
  }
  if (!IsXMLNameStartChar(ch)) {
    text_.UndoRead();
    reference_gave_back_ = true;
    return false;
  }
  buffer_.Append(ch);
  for (;;) {
    if (!text_.ReadNextChar(ch)) return false;
    reference_.Append(ch);
    if (!IsXMLNameChar(ch)) break;
    buffer_.Append(ch);
  }
  if (ch != u';') {
    text_.UndoRead();
    reference_gave_back_ = true;
    return false;
  }
  const std::u16string* value = settings_.EntityList.Find(buffer_.View());
  if (!value) return false;
  if (value->size() > reference_.Size()) {
    // Only a replacement longer than its reference makes the text grow.
    if (value->size() > expansion_budget_) {
      reference_too_large_ = true;
      return false;
    }
    expansion_budget_ -= value->size();
  }
  replacement_ = *value;
  return true;
}

TXMLReader::TRead TXMLReader::ReferenceError() {
  if (reference_too_large_) return InvalidStructure(kTooMuchExpansion, {reference_.View()});
  return InvalidCharacter(kBadEntity, reference_.View());
}

// Expands the reference after "&" into out. A failed one is an error in strict
// mode; in lenient mode its raw text stays, once (the character that ended it,
// when given back, is read again as text).
bool TXMLReader::AppendReference(std::u16string& out, bool strict) {
  if (ExpandReference()) {
    out.append(replacement_);
    return true;
  }
  if (strict) {
    ReferenceError();
    return false;
  }
  out.append(reference_.Data(), reference_.Size() - (reference_gave_back_ ? 1 : 0));
  return true;
}

TXMLReader::TRead TXMLReader::ReadEntityReferenceToken(TXMLReaderToken& token) {
  name_.clear();
  value_.clear();
  if (ExpandReference()) {
    token.TokenType = TT::EntityReference;
    name_.assign(buffer_.View());
    value_.assign(replacement_);
    return TRead::Token;
  }
  if (strict_) return ReferenceError();
  token.TokenType = TT::Text;
  value_.assign(reference_.Data(), reference_.Size() - (reference_gave_back_ ? 1 : 0));
  return TRead::Token;
}

// --- text ------------------------------------------------------------------------

TXMLReader::TRead TXMLReader::ReadText(TXMLReaderToken& token, bool has_char, char16_t ch) {
  // token.TokenValue may already hold a prefix ("<", "</", "<!", ...); ch, when
  // has_char is set, is the first character, already read.
  name_.clear();
  token.TokenType = TT::Text;
  std::u16string& value = value_;
  int brackets = 0;  // "]" just before, for "]]>"
  for (;;) {
    if (has_char) {
      switch (ch) {
        case u'<':
          text_.UndoRead();
          return TRead::Token;
        case u'&':
          if (!expand_) {
            text_.UndoRead();
            return TRead::Token;
          }
          if (!AppendReference(value, strict_)) return TRead::Stop;
          brackets = 0;
          break;
        case kCR:
        case kLF:
          AppendLineBreak(value, ch);
          brackets = 0;
          break;
        case u']':
          value += ch;
          ++brackets;
          break;
        case u'>':
          if (strict_ && brackets >= 2) return InvalidCharacter(kCannotOccurInText, u">");
          value += ch;
          brackets = 0;
          break;
        default:
          if (strict_ && IsXMLInvalidChar(ch)) return InvalidCharacter(kCannotOccurInText, Hex4(ch, true));
          value += ch;
          brackets = 0;
      }
    }
    has_char = true;
    const size_t before = value.size();
    TakeRun<cfTextStop>(value);
    if (value.size() != before) brackets = 0;
    if (!text_.ReadNextChar(ch)) return TRead::Token;
  }
}

// Strict reading at the top level, outside the document element: only white
// space may stand between the markup there.
TXMLReader::TRead TXMLReader::ReadOutsideText(TXMLReaderToken& token, char16_t ch) {
  name_.clear();
  token.TokenType = TT::Text;
  std::u16string& value = value_;
  for (;;) {
    if (ch == u'<') {
      text_.UndoRead();
      return TRead::Token;
    }
    if (ch == kCR || ch == kLF)
      AppendLineBreak(value, ch);
    else if (IsBlank(ch) || (ch == 0xFEFF && text_.FilePosition() == 1))  // or a forced encoding's byte order mark
      value += ch;
    else if (IsXMLInvalidChar(ch))
      return InvalidCharacter(kCannotOccurInText, Hex4(ch, true));
    else
      return InvalidCharacter(kCharacterOutside, std::u16string_view(&ch, 1));
    if (!text_.ReadNextChar(ch)) return TRead::Token;
  }
}

// --- element headers -------------------------------------------------------------

TXMLReader::TRead TXMLReader::FinishHeader(TXMLReaderToken*& token, char16_t ch) {
  const bool declaration = last_type_ == TT::OpenXMLDeclaration || last_type_ == TT::XMLDeclarationAttribute;
  TXMLReaderToken& top = tokens_.Top();
  if (ch == u'>') {
    top.TokenValue = {};
    top.TokenType = declaration ? TT::FinishXMLDeclaration : TT::FinishOpenElement;
    token = &top;
    return TRead::Token;
  }
  char16_t next;
  const bool read = text_.ReadNextChar(next);
  if (read && next == u'>') {
    top.TokenValue = {};
    top.TokenType = declaration ? TT::FinishXMLDeclaration : TT::FinishOpenElementClose;
    tokens_.Pop();
    token = &top;
    return TRead::Token;
  }
  if (strict_) return InvalidCharacter(kCannotOccurInHeader, declaration ? u"?" : u"/");
  if (read) text_.UndoRead();
  return TRead::Again;
}

TXMLReader::TRead TXMLReader::ReadHeaderPart(TXMLReaderToken& current, TXMLReaderToken*& token, char16_t ch) {
  const bool declaration = last_type_ == TT::OpenXMLDeclaration || last_type_ == TT::XMLDeclarationAttribute;
  switch (ch) {
    case u'/':
      if (!declaration) return FinishHeader(token, ch);
      break;
    case u'<':
      if (strict_) return InvalidCharacter(kCannotOccurInHeader, u"<");
      token = &current;
      return ReadAttribute(current, ch);
    case u'>':
      return FinishHeader(token, ch);
    case u'?':
      if (declaration) return FinishHeader(token, ch);
      break;
    default:
      break;
  }
  if (IsWhite(ch)) {
    if (!SkipWhiteSpace(ch)) {
      text_.ReleaseStream();
      if (strict_) return InvalidStructure(kUnclosedElements, {});
      return TRead::Stop;
    }
    if ((ch == u'/' && !declaration) || (ch == u'?' && declaration) || (ch == u'>' && !declaration))
      return FinishHeader(token, ch);
  } else if (strict_ && (last_type_ == TT::Attribute || last_type_ == TT::XMLDeclarationAttribute) &&
             IsXMLNameStartChar(ch)) {
    return InvalidCharacter(kWhiteSpaceAfterAttribute, attribute_names_.Last());
  }
  token = &current;
  return ReadAttribute(current, ch);
}

TXMLReader::TRead TXMLReader::ReadAttribute(TXMLReaderToken& token, char16_t ch) {
  const bool declaration = last_type_ == TT::OpenXMLDeclaration || last_type_ == TT::XMLDeclarationAttribute;
  std::u16string& name = name_;
  std::u16string& value = value_;
  name.clear();
  value.clear();
  token.TokenType = declaration ? TT::XMLDeclarationAttribute : TT::Attribute;
  bool more;
  if (strict_) {
    if (!IsXMLNameStartChar(ch))
      return InvalidCharacter(u"An attribute cannot start with the character \"%s\".", std::u16string_view(&ch, 1));
    name += ch;
    more = ReadName(name, ch);
    if (!attribute_names_.Add(name, false)) return InvalidStructure(kRepeatedAttribute, {name});
  } else {
    name += ch;
    more = ReadLenientName(name, ch);
  }
  if (more && IsWhite(ch)) more = SkipWhiteSpace(ch);
  if (!more || ch != u'=') {
    if (strict_) return InvalidCharacter(u"Equal sign must follow the attribute \"%s\".", name);
    if (more) text_.UndoRead();
    return TRead::Token;
  }
  more = text_.ReadNextChar(ch);
  if (more && IsWhite(ch)) more = SkipWhiteSpace(ch);
  if (more && (ch == u'"' || ch == u'\'')) return ReadQuotedValue(value, ch) ? TRead::Token : TRead::Stop;
  if (strict_) return InvalidCharacter(u"\"%s\" attribute value must be enclosed in quotes.", name);
  if (more && !ReadUnquotedValue(value, ch)) return TRead::Stop;
  return TRead::Token;
}

bool TXMLReader::ReadQuotedValue(std::u16string& value, char16_t quote) {
  char16_t ch;
  for (;;) {
    TakeRun<cfAttrStop>(value);
    if (!text_.ReadNextChar(ch) || ch == quote) return true;
    switch (ch) {
      case kCR:
      case kLF:
        AppendLineBreak(value, ch);
        break;
      case u'&':
        if (!AppendReference(value, strict_)) return false;
        break;
      default:
        // "<", an invalid character or the other quote character.
        if (strict_ && (ch == u'<' || IsXMLInvalidChar(ch))) {
          InvalidCharacter(kCannotOccurInAttribute, Hex4(ch, false));
          return false;
        }
        value += ch;
    }
  }
}

bool TXMLReader::ReadUnquotedValue(std::u16string& value, char16_t ch) {
  // Lenient only: the value runs up to a terminator, which is given back.
  for (;;) {
    if (kXMLCharFlags[ch] & cfTerminator) {
      text_.UndoRead();
      return true;
    }
    if (ch == u'&') {
      if (!AppendReference(value, strict_)) return false;
    } else {
      value += ch;
    }
    if (!text_.ReadNextChar(ch)) return true;
  }
}

// --- markup ----------------------------------------------------------------------

TXMLReader::TRead TXMLReader::ReadMarkup(TXMLReaderToken& token) {
  // After "<".
  char16_t ch;
  if (!text_.ReadNextChar(ch)) {
    if (strict_) return InvalidCharacter(kCannotOccurInText, u"<");
    value_.assign(u"<");
    return ReadText(token, false, 0);
  }
  switch (ch) {
    case u'!': {
      char16_t next;
      const bool read = text_.ReadNextChar(next);
      if (read && (next == u'-' || next == u'D' || next == u'd' || next == u'['))
        return ReadMarkupDeclaration(token, next);
      if (strict_) return InvalidCharacter(kCannotOccurInText, u"<");
      value_.assign(u"<!");
      return ReadText(token, read, next);
    }
    case u'/':
      return ReadEndTag(token);
    case u'?':
      return ReadProcessingInstruction(token);
    default:
      return ReadElementStart(token, ch);
  }
}

TXMLReader::TRead TXMLReader::ReadElementStart(TXMLReaderToken& token, char16_t ch) {
  std::u16string& name = name_;
  name.clear();
  value_.clear();
  if (strict_) {
    if (!IsXMLNameStartChar(ch)) return InvalidCharacter(kCannotOccurInText, u"<");
    name += ch;
    if (!ReadName(name, ch)) return InvalidCharacter(u"\"%s\" is not a valid element name.", name);
    if (ch == u'/' || ch == u'>') {
      text_.UndoRead();
    } else if (!IsWhite(ch)) {
      name += ch;
      return InvalidCharacter(u"\"%s\" is not a valid element name.", name);
    }
    if (tokens_.Count() == 0 && document_element_) return InvalidStructure(kSecondDocumentElement, {name});
  } else {
    if (!IsXMLNameChar(ch)) {
      value_.assign(u"<");
      return ReadText(token, true, ch);
    }
    name += ch;
    if (ReadLenientName(name, ch) && (ch == u'/' || ch == u'>')) text_.UndoRead();
  }
  ElementStarted();
  token.TokenName = name;
  token.TokenValue = {};
  token.TokenType = TT::OpenElement;
  tokens_.Push();
  return TRead::Token;
}

TXMLReader::TRead TXMLReader::ReadEndTag(TXMLReaderToken& token) {
  // After "</".
  std::u16string& name = name_;
  name.clear();
  value_.clear();
  char16_t ch;
  bool more = text_.ReadNextChar(ch);
  if (strict_) {
    if (!more || !IsXMLNameStartChar(ch)) {
      std::u16string text = u"</";
      if (more) text += ch;
      return InvalidCharacter(kStringCannotOccur, text);
    }
    name += ch;
    more = ReadName(name, ch);
    if (more && IsWhite(ch)) more = SkipWhiteSpace(ch);
    if (!more || ch != u'>') return InvalidCharacter(kStringCannotOccur, u"</" + name);
  } else {
    if (!more || !IsXMLNameChar(ch)) {
      value_.assign(u"</");
      return ReadText(token, more, ch);
    }
    name += ch;
    more = ReadLenientName(name, ch);
    while (more && ch != u'>') more = text_.ReadNextChar(ch);
  }
  token.TokenType = TT::CloseElement;
  const int count = tokens_.Count();
  if (count == 0) {
    if (strict_) return InvalidStructure(u"Too many elements closed.", {});
    return TRead::Token;
  }
  const std::u16string_view open = tokens_[count - 1].TokenName;
  if (name != open) {
    if (strict_)
      return InvalidStructure(u"Trying to close wrong element. Close=\"%s\", open element=\"%s\".", {name, open});
    // Close every element from the top down to the named one, when it is open.
    for (int i = count - 2; i >= 0; --i) {
      if (tokens_[i].TokenName == name) {
        pending_closes_ = count - i - 1;
        if (pending_closes_ > 0) fast_ready_ = false;
        break;
      }
    }
    name.assign(open);
  }
  tokens_.Pop();
  return TRead::Token;
}

TXMLReader::TRead TXMLReader::ReadProcessingInstruction(TXMLReaderToken& token) {
  // After "<?".
  std::u16string& target = name_;
  std::u16string& value = value_;
  target.clear();
  value.clear();
  char16_t ch;
  bool more = text_.ReadNextChar(ch);
  if (strict_) {
    if (!more || !IsXMLNameStartChar(ch)) {
      std::u16string text = u"<?";
      if (more) text += ch;
      return InvalidCharacter(kStringCannotOccur, text);
    }
    target += ch;
    more = ReadName(target, ch);
    if (!more || !(IsWhite(ch) || ch == u'?')) {
      std::u16string text = u"<?" + target;
      if (more) text += ch;
      return InvalidCharacter(kStringCannotOccur, text);
    }
  } else {
    while (more && !(kXMLCharFlags[ch] & cfTerminator)) {
      target += ch;
      TakeLenientNameRun(target);
      more = text_.ReadNextChar(ch);
    }
  }
  if (!element_opened_ && settings_.RecognizeXMLDeclaration && target.size() == 3 && AsciiUpper(target[0]) == u'X' &&
      AsciiUpper(target[1]) == u'M' && AsciiUpper(target[2]) == u'L') {
    // A "?" right after the target belongs to the closing "?>".
    if (more && ch == u'?') text_.UndoRead();
    token.TokenName = target;
    token.TokenValue = {};
    token.TokenType = TT::OpenXMLDeclaration;
    declaration_part_ = 0;
    attribute_names_.Clear();
    tokens_.Push();
    return TRead::Token;
  }
  token.TokenType = TT::ProcessingInstruction;
  // The separator after the target is dropped, except that a "?" may begin
  // the closing "?>" and that lenient reading keeps what ended the target.
  if (more && (ch == u'?' || (!strict_ && !target.empty()))) value += ch;
  for (;;) {
    TakeRun<cfMarkupStop>(value);
    // TakeRun stops at CR and LF too, so the line count stays exact.
    if (!text_.ReadNextChar(ch)) return Unterminated(kUnclosedInstruction);
    if (ch == u'>' && !value.empty() && value.back() == u'?') {
      value.pop_back();
      return TRead::Token;
    }
    value += ch;
  }
}

TXMLReader::TRead TXMLReader::ReadMarkupDeclaration(TXMLReaderToken& token, char16_t ch) {
  // After "<!"; ch is the character that chose the kind.
  const int kind = ch == u'-' ? kComment : ch == u'[' ? kCData : kDocType;
  const std::u16string_view opening = kOpening[kind];
  std::u16string& value = value_;
  value.assign(u"<!");
  bool more = true;
  bool match = true;
  for (size_t i = 0; i < opening.size(); ++i) {
    if (i > 0) more = text_.ReadNextChar(ch);
    if (!more || AsciiUpper(ch) != opening[i]) {
      match = false;
      break;
    }
    value += ch;
  }
  if (match && kind == kDocType) {
    more = text_.ReadNextChar(ch);
    match = more && IsWhite(ch);
  }
  if (!match) {
    if (more) text_.UndoRead();
    if (strict_) return InvalidCharacter(kCannotOccurInText, u"<");
    return ReadText(token, false, 0);
  }
  if (kind == kCData && strict_ && tokens_.Count() == 0) return InvalidCharacter(kStringOutside, u"<![CDATA[");
  return ReadMarkupContent(token, kind);
}

TXMLReader::TRead TXMLReader::ReadMarkupContent(TXMLReaderToken& token, int kind) {
  std::u16string& value = value_;
  value.clear();
  name_.clear();
  token.TokenType = kMarkupType[kind];
  const std::u16string_view closing = kClosing[kind];
  // In strict mode "--" may only end a comment.
  const bool dashes = strict_ && kind == kComment;
  char16_t ch;
  for (;;) {
    if (dashes)
      TakeCommentRun(value);
    else
      TakeRun<cfMarkupStop>(value);
    if (!text_.ReadNextChar(ch)) return Unterminated(kUnclosed[kind]);
    if (dashes && EndsWith(value, u"--")) {
      if (ch != u'>') return InvalidCharacter(kDashesInComment, u"--");
      value.resize(value.size() - 2);
      return TRead::Token;
    }
    if (IsXMLInvalidChar(ch)) {
      if (strict_) return InvalidCharacter(kCannotOccurInText, Hex4(ch, false));
      value += ch;
      continue;
    }
    value += ch;
    if (ch == u'[' && kind == kDocType) {
      bool ended = false;
      if (!ReadInternalSubset(value, ended)) return ended ? Unterminated(kUnclosedDocType) : TRead::Stop;
      continue;
    }
    if (ch == u'>' && value.size() >= closing.size() &&
        std::u16string_view(value).substr(value.size() - closing.size()) == closing) {
      value.resize(value.size() - closing.size());
      return TRead::Token;
    }
  }
}

// Takes the plain run of comment text at the read position into out, ending it
// just behind the first "--" (which the next character must close).
void TXMLReader::TakeCommentRun(std::u16string& out) {
  if (EndsWith(out, u"--")) return;
  const char16_t* const begin = text_.RunBegin();
  const char16_t* stop = FindRunEnd<cfMarkupStop>(begin, text_.RunEnd());
  if (begin != stop && *begin == u'-' && !out.empty() && out.back() == u'-') {
    stop = begin + 1;
  } else {
    for (const char16_t* p = begin; p + 1 < stop; ++p) {
      if (p[0] == u'-' && p[1] == u'-') {
        stop = p + 2;
        break;
      }
    }
  }
  if (stop != begin) {
    out.append(begin, static_cast<size_t>(stop - begin));
    text_.SkipPlainRun(stop);
  }
}

// --- DOCTYPE internal subset ----------------------------------------------------

bool TXMLReader::ReadInternalSubset(std::u16string& content, bool& ended) {
  // After "["; reads up to the "]" that ends it, appending what it reads to
  // content. False on an error or (ended set) at the end of the text.
  settings_.EntityList.Reset();
  const size_t start = content.size();
  char16_t quote = 0;
  // Comments and processing instructions are skipped whole: quotes, "]" and
  // declarations in them are their text.
  enum { kDeclarations, kInComment, kInInstruction } part = kDeclarations;
  size_t part_start = 0;
  char16_t ch;
  for (;;) {
    if (!text_.ReadNextChar(ch)) {
      ended = true;
      return false;
    }
    content += ch;
    if (IsXMLInvalidChar(ch) && strict_) {
      InvalidCharacter(kCannotOccurInText, Hex4(ch, true));
      return false;
    }
    if (part != kDeclarations) {
      // The characters read since "<!--" or "<?".
      const size_t read = content.size() - part_start;
      if (part == kInComment) {
        if (read >= 3 && EndsWith(content, u"-->")) {
          part = kDeclarations;
        } else if (strict_ && read >= 3 && ch != u'>' && content[content.size() - 3] == u'-' &&
                   content[content.size() - 2] == u'-') {
          InvalidCharacter(kDashesInComment, u"--");
          return false;
        }
      } else if (read >= 2 && EndsWith(content, u"?>")) {
        part = kDeclarations;
      }
      continue;
    }
    if (quote) {
      if (ch == quote) quote = 0;
      continue;
    }
    if (ch == u'"' || ch == u'\'') {
      quote = ch;
      continue;
    }
    if (ch == u']') return true;
    if (ch == u'-' && content.size() - start >= 4 && EndsWith(content, u"<!--")) {
      part = kInComment;
      part_start = content.size();
      continue;
    }
    if (ch == u'?' && content.size() - start >= 2 && content[content.size() - 2] == u'<') {
      part = kInInstruction;
      part_start = content.size();
      continue;
    }
    if ((ch == u'Y' || ch == u'y') && content.size() - start >= 8) {
      static constexpr std::u16string_view kEntity = u"<!ENTITY";
      bool match = true;
      for (size_t i = 0; i < 8 && match; ++i) match = AsciiUpper(content[content.size() - 8 + i]) == kEntity[i];
      if (!match) continue;
      if (!text_.ReadNextChar(ch)) {
        ended = true;
        return false;
      }
      if (!IsWhite(ch)) {
        text_.UndoRead();
        continue;
      }
      content += ch;
      if (!ReadEntityDeclaration(content, ended)) return false;
    }
  }
}

bool TXMLReader::ReadEntityDeclaration(std::u16string& content, bool& ended) {
  // After "<!ENTITY" and one white-space character.
  char16_t ch;
  auto read = [&]() {
    if (!text_.ReadNextChar(ch)) {
      ended = true;
      return false;
    }
    content += ch;
    return true;
  };
  auto skip_white = [&]() {
    do {
      if (!read()) return false;
    } while (IsWhite(ch));
    return true;
  };
  if (!skip_white()) return false;
  bool parameter = false;
  if (ch == u'%') {
    parameter = true;
    if (!skip_white()) return false;
  }
  if (!IsXMLNameStartChar(ch)) {
    InvalidCharacter(kCannotOccurInHeader, std::u16string_view(&ch, 1));
    return false;
  }
  entity_name_.assign(1, ch);
  for (;;) {
    if (!read()) return false;
    if (!IsXMLNameChar(ch)) break;
    entity_name_ += ch;
  }
  if (IsWhite(ch) && !skip_white()) return false;
  if (ch != u'"' && ch != u'\'') {
    InvalidCharacter(u"\"%s\" entity value must be enclosed in quotes.", entity_name_);
    return false;
  }
  const char16_t quote = ch;
  entity_value_.clear();
  for (;;) {
    if (!read()) return false;
    if (ch == quote) break;
    if (ch == kCR || ch == kLF) {
      if (settings_.LineBreak == TXMLLineBreak::AsIs) {
        entity_value_ += ch;
      } else {
        if (ch == kCR) {
          char16_t next;
          if (text_.ReadNextChar(next)) {
            if (next == kLF)
              content += next;
            else
              text_.UndoRead();
          }
        }
        entity_value_ += LineBreakText(settings_.LineBreak);
      }
    } else if (ch == u'&') {
      content.pop_back();  // the reference's raw text follows, "&" included
      const bool expanded = ExpandReference();
      content.append(reference_.Data(), reference_.Size() - (reference_gave_back_ ? 1 : 0));
      if (expanded) {
        entity_value_.append(replacement_);
      } else if (strict_) {
        ReferenceError();
        return false;
      } else {
        entity_value_.append(reference_.Data(), reference_.Size() - (reference_gave_back_ ? 1 : 0));
      }
    } else if (IsXMLInvalidChar(ch)) {
      if (strict_) {
        InvalidCharacter(kCannotOccurInAttribute, Hex4(ch, true));
        return false;
      }
      entity_value_ += ch;
    } else {
      entity_value_ += ch;
    }
  }
  if (!parameter) settings_.EntityList.Add(entity_name_, entity_value_);
  do {
    if (!read()) return false;
  } while (ch != u'>');
  return true;
}

// --- tokens ----------------------------------------------------------------------

// The common tokens, read straight from the decoded block. Each case checks
// its whole token before it takes a character, and takes exactly what the
// character-by-character reading would have taken, with the same line count;
// anything unusual (a reference, a line break other than CR LF in text, a
// character that would end in an error, the end of the block) is left to it.
VORLANEX_XML_INLINE bool TXMLReader::ReadFastToken(TXMLReaderToken& current, TXMLReaderToken*& token) {
  // The top level (prolog, document element, what follows it) is left to the
  // character reading, which knows when to stop and what may stand there.
  const int count = tokens_.Count();
  if (count == 0) return false;
  const char16_t* const p = text_.RunBegin();
  const char16_t* const e = text_.RunEnd();
  if (e - p < 2) return false;
  const auto& flags = kXMLCharFlags;
  const TT last = last_type_;
  if (last == TT::OpenElement || last == TT::Attribute) {
    const char16_t* q = *p == u' ' && !IsBlank(p[1]) ? p + 1 : detail::SkipBlanks(p, e);
    if (q == e) return false;
    TXMLReaderToken& top = tokens_.Top();
    if (*q == u'>') {
      text_.SkipPlainRun(q + 1);
      top.TokenValue = {};
      top.TokenType = TT::FinishOpenElement;
      token = &top;
      return true;
    }
    if (*q == u'/') {
      if (q + 1 == e || q[1] != u'>') return false;
      text_.SkipPlainRun(q + 2);
      top.TokenValue = {};
      top.TokenType = TT::FinishOpenElementClose;
      tokens_.Pop();
      token = &top;
      return true;
    }
    // An attribute: name, "=", a quoted value without references or breaks.
    if (!(flags[*q] & cfNameStart)) return false;
    const bool strict = settings_.StrictXML;
    if (q == p && last == TT::Attribute && strict) return false;  // no white space before it
    const char16_t* const name = q;
    q = detail::SkipNameChars(q + 1, e);
    const std::u16string_view name_text(name, static_cast<size_t>(q - name));
    while (q != e && IsBlank(*q)) ++q;
    if (q == e || *q != u'=') return false;
    ++q;
    while (q != e && IsBlank(*q)) ++q;
    if (q == e || (*q != u'"' && *q != u'\'')) return false;
    const char16_t quote = *q++;
    const char16_t* const value = q;
    for (;;) {
      q = detail::FindAttributeStop(q, e);
      if (q != e && *q != quote && (*q == u'"' || *q == u'\'')) {
        ++q;  // the other quote character belongs to the value
        continue;
      }
      break;
    }
    if (q == e || *q != quote) return false;
    if (strict && !attribute_names_.Add(name_text, true)) return false;
    current.TokenName = name_text;
    current.TokenValue = {value, static_cast<size_t>(q - value)};
    current.TokenType = TT::Attribute;
    text_.SkipPlainRun(q + 1);
    return true;
  }
  if (last == TT::OpenXMLDeclaration || last == TT::XMLDeclarationAttribute) return false;
  if (*p == u'<') {
    if (flags[p[1]] & cfNameStart) {
      // A start tag's name, ended by a blank (taken) or by "/" or ">" (left).
      const char16_t* q = detail::SkipNameChars(p + 2, e);
      if (q == e) return false;
      const char16_t* stop;
      if (IsBlank(*q))
        stop = q + 1;
      else if (*q == u'/' || *q == u'>')
        stop = q;
      else
        return false;
      current.TokenName = {p + 1, static_cast<size_t>(q - p - 1)};
      current.TokenValue = {};
      current.TokenType = TT::OpenElement;
      text_.SkipPlainRun(stop);
      // Inside the document element: the encoding is settled and the read-ahead
      // released already.
      element_opened_ = true;
      attribute_names_.Clear();
      tokens_.PushInPlace();
      return true;
    }
    if (p[1] == u'/') {
      // An end tag that closes the top element.
      const char16_t* q = p + 2;
      if (q == e || !(flags[*q] & cfNameStart)) return false;
      q = detail::SkipNameChars(q + 1, e);
      if (q == e || *q != u'>') return false;
      const std::u16string_view open = tokens_.Top().TokenName;
      if (open.size() != static_cast<size_t>(q - p - 2) ||
          std::char_traits<char16_t>::compare(open.data(), p + 2, open.size()) != 0)
        return false;
      current.TokenName = open;
      current.TokenValue = {};
      current.TokenType = TT::CloseElement;
      text_.SkipPlainRun(q + 1);
      tokens_.Pop();
      return true;
    }
    return false;
  }
  // Text up to "<". Under the default line break setting a CR LF pair stays as
  // it is, so text that holds only such pairs needs no rewriting.
  if (*p == u'&') return false;
  const bool pairs = settings_.LineBreak == TXMLLineBreak::CRLF;
  int64_t lines = 0;
  const char16_t* line_start = p;
  const char16_t* q = p;
  if (pairs && p[0] == u'\r' && p[1] == u'\n') {
    // The usual text between elements: a line break and the indentation.
    q = detail::SkipIndentation(p + 2, e);
    lines = 1;
    line_start = p + 2;
  }
  // A "<" right behind the indentation or a line break needs no search.
  while (q == e || *q != u'<') {
    q = detail::FindTextStop(q, e);
    if (q == e) return false;
    if (*q == u'\r' && pairs && q + 1 != e && q[1] == u'\n') {
      q += 2;
      ++lines;
      line_start = q;
      continue;
    }
    break;
  }
  if (*q != u'<') return false;
  current.TokenName = {};
  current.TokenValue = {p, static_cast<size_t>(q - p)};
  current.TokenType = TT::Text;
  if (lines)
    text_.SkipPairedRun(q, lines, line_start);
  else
    text_.SkipPlainRun(q);
  return true;
}

TXMLReader::TRead TXMLReader::ReadToken(TXMLReaderToken*& token) {
  TXMLReaderToken& current = *token;
  for (;;) {
    char16_t ch;
    if (!text_.ReadNextChar(ch)) {
      text_.ReleaseStream();
      if (strict_ && tokens_.Count() > 0) return InvalidStructure(kUnclosedElements, {});
      if (strict_ && !document_element_) return InvalidStructure(kNoDocumentElement, {});
      return TRead::Stop;
    }
    const bool in_header =
        tokens_.Count() > 0 && (last_type_ == TT::OpenXMLDeclaration || last_type_ == TT::XMLDeclarationAttribute ||
                                last_type_ == TT::OpenElement || last_type_ == TT::Attribute);
    TRead result;
    if (in_header) {
      result = ReadHeaderPart(current, token, ch);
    } else if (ch == u'<') {
      value_.clear();
      result = ReadMarkup(current);
    } else if (strict_ && tokens_.Count() == 0) {
      value_.clear();
      result = ReadOutsideText(current, ch);
    } else if (ch == u'&' && !expand_) {
      result = ReadEntityReferenceToken(current);
    } else {
      value_.clear();
      result = ReadText(current, true, ch);
    }
    if (result == TRead::Again) continue;
    // The texts of a token read here were gathered in the reader's buffers; an
    // element or declaration just opened has its name on the stack already.
    if (result == TRead::Token && token == &current && current.TokenType != TT::OpenElement &&
        current.TokenType != TT::OpenXMLDeclaration) {
      current.TokenName = name_;
      current.TokenValue = value_;
    }
    return result;
  }
}

bool TXMLReader::ReadNextToken(const TXMLReaderToken*& token) {
  // Most tokens come straight from the block; the fast path never meets an
  // XML declaration, so the encoding switch is not its concern, nor the top
  // level, where reading may stop after the document element.
  if (fast_ready_) {
    TXMLReaderToken* read = &tokens_.Current();
    if (ReadFastToken(*read, read)) {
      last_type_ = read->TokenType;
      token = read;
      return true;
    }
  }
  return ReadNextTokenSlowly(token);
}

bool TXMLReader::ReadNextTokenSlowly(const TXMLReaderToken*& token) {
  token = nullptr;
  if (text_.ParseError() || ended_) return false;
  if (pending_closes_ > 0) {
    TXMLReaderToken& top = tokens_.Top();
    top.TokenValue = {};
    top.TokenType = TT::CloseElement;
    tokens_.Pop();
    if (--pending_closes_ == 0) fast_ready_ = fast_path_;
    last_type_ = TT::CloseElement;
    token = &top;
    return true;
  }
  if (settings_.BreakReading == TXMLBreakReading::AfterDocumentElement && element_opened_ && tokens_.Count() == 0)
    return false;
  strict_ = settings_.StrictXML;
  expand_ = settings_.ExpandEntities;
  TXMLReaderToken* read = &tokens_.Current();
  if (ReadToken(read) != TRead::Token || text_.ParseError()) return false;
  if (strict_ && (read->TokenType == TT::XMLDeclarationAttribute || read->TokenType == TT::FinishXMLDeclaration) &&
      !CheckDeclaration(*read))
    return false;
  last_type_ = read->TokenType;
  if (read->TokenType == TT::XMLDeclarationAttribute && switch_possible_ && !encoding_forced_ &&
      read->TokenName == u"encoding")
    return SwitchEncoding(token, *read);
  token = read;
  return true;
}

// Version first and required, then encoding, then standalone, each with a value
// that its grammar allows. Raises the error and answers false when not.
bool TXMLReader::CheckDeclaration(const TXMLReaderToken& token) {
  if (token.TokenType == TT::FinishXMLDeclaration) {
    if (declaration_part_ == 0) InvalidStructure(kDeclarationVersion, {});
    return declaration_part_ != 0;
  }
  const std::u16string_view name = token.TokenName;
  const std::u16string_view value = token.TokenValue;
  int part;
  bool valid;
  if (name == u"version") {
    part = 1;
    valid = IsVersionNumber(value);
  } else if (name == u"encoding") {
    part = 2;
    valid = IsEncodingName(value);
  } else if (name == u"standalone") {
    part = 3;
    valid = value == u"yes" || value == u"no";
  } else {
    part = 0;
    valid = false;
  }
  if (declaration_part_ == 0 && part != 1) {
    InvalidStructure(kDeclarationVersion, {});
    return false;
  }
  if (part == 0) {
    InvalidStructure(kDeclarationName, {name});
    return false;
  }
  if (part <= declaration_part_) {
    InvalidStructure(kDeclarationOrder, {name});
    return false;
  }
  if (!valid) {
    InvalidCharacter(kDeclarationValue, {value, name});
    return false;
  }
  declaration_part_ = part;
  return true;
}

bool TXMLReader::SwitchEncoding(const TXMLReaderToken*& token, const TXMLReaderToken& attribute) {
  TEncodingPtr encoding;
  if (!EncodingFromAlias(attribute.TokenValue, encoding) || encoding.get() == text_.Encoding()) {
    token = &attribute;
    return true;
  }
  // Read the text again from its first byte in the named encoding, up to the
  // same attribute of the declaration.
  text_.SetEncoding(std::move(encoding));
  switch_possible_ = false;
  ReleaseHold();
  last_type_ = TT::None;
  tokens_.Clear();
  if (!StartsWithDeclaration(text_.Peek(6))) {
    // Nothing of the text is readable in the named encoding (an 8-bit text
    // naming UTF-16): it ends here, as a text without elements.
    ended_ = true;
    fast_ready_ = false;
    text_.ReleaseStream();
    return false;
  }
  const std::u16string name(attribute.TokenName);
  bool in_declaration = false;
  const TXMLReaderToken* next;
  while (ReadNextToken(next)) {
    if (next->TokenType == TT::OpenXMLDeclaration) {
      in_declaration = true;
    } else if (next->TokenType == TT::OpenElement) {
      in_declaration = false;
    } else if (in_declaration && next->TokenType == TT::XMLDeclarationAttribute && next->TokenName == name) {
      token = next;
      return true;
    }
  }
  return false;
}

}  // namespace xml
