#include "xml/xml_sequential_parser.h"

namespace xml {

namespace {
using TT = TXMLReaderTokenType;
}

TXMLSequentialParser::TXMLSequentialParser() { CreateParts(); }

TXMLSequentialParser::~TXMLSequentialParser() = default;

void TXMLSequentialParser::CreateParts() {
  Reader = std::make_unique<TXMLReader>();
  Tree_ = std::make_unique<TXMLDocument>();
  ReaderPath = std::make_unique<common::TWideStringList>();
  TargetPath = std::make_unique<common::TWideStringList>();
}

void TXMLSequentialParser::InitStream(common::TStream& stream, TEncodingPtr forced_encoding) {
  Reader->InitStream(stream, std::move(forced_encoding));
  current_token_ = nullptr;
  parse_error_.reset();
  ended_ = false;
  start_pending_ = false;
  Reset();
}

void TXMLSequentialParser::Reset() {
  ReaderPath->Clear();
  TargetPath->Clear();
  Tree_->Clear(true);
}

void TXMLSequentialParser::ReleaseStream() { Reader->ReleaseStream(); }

bool TXMLSequentialParser::NextToken() {
  const TXMLReaderToken* token;
  if (!Reader->ReadNextToken(token)) return false;
  current_token_ = token;
  return true;
}

void TXMLSequentialParser::TakeParseError() {
  if (Reader->ParseError()) parse_error_ = Reader->ParseError();
}

void TXMLSequentialParser::AssignReusing(common::TWideStringList& list, const std::vector<std::u16string_view>& names) {
  const int count = static_cast<int>(names.size());
  for (int i = 0; i < count; ++i) {
    if (i == list.Count()) {
      list.Add(names[static_cast<size_t>(i)]);
    } else if (list[i] != names[static_cast<size_t>(i)]) {
      list.Set(i, names[static_cast<size_t>(i)]);
    }
  }
  while (list.Count() > count) list.Delete(list.Count() - 1);
}

bool TXMLSequentialParser::SeekElementPath(std::u16string_view path) {
  parse_error_.reset();
  if (ended_) return false;

  // ReaderPath := the open elements. Both lists are refilled in place, so that
  // their strings keep their storage from seek to seek.
  const int open = Reader->OpenElementCount();
  names_.clear();
  for (int i = 0; i < open; ++i) names_.push_back(Reader->OpenElementName(i));
  AssignReusing(*ReaderPath, names_);

  // The parts, split at every "/" without quoting, resolved against ReaderPath.
  parts_.clear();
  for (size_t begin = 0;;) {
    const size_t end = path.find(u'/', begin);
    if (end == std::u16string_view::npos) {
      parts_.push_back(path.substr(begin));
      break;
    }
    parts_.push_back(path.substr(begin, end - begin));
    begin = end + 1;
  }
  if (parts_.back().empty()) parts_.pop_back();
  names_.clear();
  if (parts_.empty() || !parts_.front().empty())  // relative, or no parts at all
    for (const std::u16string& name : *ReaderPath) names_.push_back(name);
  for (const std::u16string_view part : parts_) {
    if (part == u"..") {
      if (!names_.empty()) names_.pop_back();
    } else if (!part.empty() && part != u".") {
      names_.push_back(part);
    }
  }
  AssignReusing(*TargetPath, names_);

  if (Reader->IsElementPath(*TargetPath)) return true;
  // Most elements lie at another depth: that test costs no call.
  const int depth = TargetPath->Count();
  while (NextToken()) {
    const TT type = current_token_->TokenType;
    if ((type == TT::OpenElement || type == TT::FinishOpenElementClose || type == TT::CloseElement) &&
        Reader->OpenElementCount() == depth && Reader->IsElementPath(*TargetPath)) {
      start_pending_ = type == TT::OpenElement;
      return true;
    }
  }
  TakeParseError();
  ReleaseStream();
  ended_ = true;
  return false;
}

bool TXMLSequentialParser::ReadNode(bool header_mode, bool outline, TXMLNode*& start, bool& is_open) {
  TXMLDocument& tree = *Tree_;
  tree.Clear(false);
  TXMLNode* document = tree.DocumentNode();
  start = document;
  const bool at_start = start_pending_;
  start_pending_ = false;
  if (at_start) {
    start = document->AddChild(current_token_->TokenName);
  } else if (header_mode) {
    while (NextToken()) {
      if (current_token_->TokenType == TT::OpenElement) {
        start = document->AddChild(current_token_->TokenName);
        break;
      }
      if (current_token_->TokenType == TT::CloseElement) return false;
    }
    if (start == document) return false;
  }

  if (header_mode) {
    while (NextToken()) {
      switch (current_token_->TokenType) {
        case TT::Attribute:
        case TT::XMLDeclarationAttribute:
          start->AddAttribute(current_token_->TokenName, current_token_->TokenValue);
          break;
        case TT::FinishOpenElement:
          is_open = true;
          return true;
        case TT::FinishOpenElementClose:
        case TT::CloseElement:
        case TT::FinishXMLDeclaration:
          is_open = false;
          return true;
        default:
          break;
      }
    }
    return false;
  }

  // Reading stops when an element opened from here closes with no element
  // left open.
  TXMLReaderSettings& settings = Reader->Settings();
  const TXMLBreakReading saved = settings.BreakReading;
  settings.BreakReading = TXMLBreakReading::AfterDocumentElement;
  Reader->ClearElementOpened();
  struct TRestore {
    TXMLReaderSettings& settings;
    TXMLBreakReading saved;
    ~TRestore() { settings.BreakReading = saved; }
  } restore{settings, saved};
  const TXMLReaderToken* last = nullptr;
  const bool loaded = start->LoadFromReader(*Reader, last, document, outline);
  if (last) current_token_ = last;
  return loaded;
}

bool TXMLSequentialParser::Read(bool header_mode, bool outline, bool& is_open) {
  parse_error_.reset();
  if (ended_) return false;
  TXMLDocument& tree = *Tree_;
  tree.Loading = true;
  TXMLNode* start = nullptr;
  bool result;
  try {
    result = ReadNode(header_mode, outline, start, is_open);
  } catch (...) {
    TakeParseError();
    tree.Loading = false;
    throw;
  }
  TakeParseError();
  tree.Loading = false;
  return result;
}

bool TXMLSequentialParser::ReadElementHeader(TXMLNode*& element, bool& is_open) {
  is_open = false;
  element = Read(true, false, is_open) ? Tree_->DocumentElement() : nullptr;
  return element != nullptr;
}

bool TXMLSequentialParser::ReadCompleteNode(TXMLNode*& node) {
  bool is_open = false;
  const bool result = Read(false, false, is_open);
  node = result ? Tree_->DocumentNode()->FirstChild() : nullptr;
  return node != nullptr;
}

bool TXMLSequentialParser::ReadNodeOutline(TXMLNode*& node) {
  bool is_open = false;
  const bool result = Read(false, true, is_open);
  node = result ? Tree_->DocumentNode()->FirstChild() : nullptr;
  return node != nullptr;
}

}  // namespace xml
