#pragma once
// Reads one XML document forward, once: skips along the tokens to an element
// path without building anything, and builds, in a small tree of its own, the
// header of the element found or one complete node. The tree is emptied at
// every such read, so memory is bounded by the largest piece asked for.

#include <memory>
#include <string_view>
#include <vector>

#include "common/wide_string_list.h"
#include "xml/xml_document.h"
#include "xml/xml_reader.h"

namespace common {
class TStream;
}

namespace xml {

class TXMLSequentialParser {
 public:
  TXMLSequentialParser();
  virtual ~TXMLSequentialParser();
  TXMLSequentialParser(const TXMLSequentialParser&) = delete;
  TXMLSequentialParser& operator=(const TXMLSequentialParser&) = delete;

  // Starts on stream, which the caller keeps. Without a forced encoding the
  // reader detects it.
  void InitStream(common::TStream& stream, TEncodingPtr forced_encoding = nullptr);
  virtual void Reset();
  // For the caller to change between InitStream and the first read.
  TXMLReaderSettings& ReaderSettings() { return Reader->Settings(); }

  // Reads forward until the open elements form path: absolute ("/a/b") or
  // relative to the open elements ("b", "../c"); "." and empty parts are
  // skipped. False when the text ends first; from then on every seek and read
  // fails.
  bool SeekElementPath(std::u16string_view path);
  // Builds the header (name and attributes) of the element at CurrentToken, or
  // of the next child element, as the only element of Tree. is_open tells
  // whether its content follows. False when the enclosing element ends first.
  bool ReadElementHeader(TXMLNode*& element, bool& is_open);
  bool ReadElementHeader(TXMLNode*& element) {
    bool is_open;
    return ReadElementHeader(element, is_open);
  }
  // Builds the element at CurrentToken, or else the next node, with all its
  // content, as the only node of Tree. False at the end of the enclosing
  // element or of the text, and on a parse error.
  bool ReadCompleteNode(TXMLNode*& node);
  void ReleaseStream();

  // The parse error of the last failed seek or read, or null.
  const ITextParseErrorPtr& ParseError() const { return parse_error_; }
  // The token read last; null before the first read.
  const TXMLReaderToken* CurrentToken() const { return current_token_; }
  // The nodes handed out live here until the next header or node read.
  TXMLDocument& Tree() { return *Tree_; }
  TXMLReader& XMLReader() { return *Reader; }

 protected:
  virtual void CreateParts();

  std::unique_ptr<TXMLReader> Reader;
  std::unique_ptr<common::TWideStringList> ReaderPath;
  std::unique_ptr<common::TWideStringList> TargetPath;
  std::unique_ptr<TXMLDocument> Tree_;

 private:
  // The procedure shared by header and node reads; the tree is cleared
  // without freeing its storage first.
  bool Read(bool header_mode, bool& is_open);
  bool ReadNode(bool header_mode, TXMLNode*& start, bool& is_open);
  bool NextToken();
  // Makes list hold names, keeping the storage of the strings it has.
  static void AssignReusing(common::TWideStringList& list, const std::vector<std::u16string_view>& names);
  void TakeParseError();

  const TXMLReaderToken* current_token_ = nullptr;
  ITextParseErrorPtr parse_error_;
  bool ended_ = false;  // a seek ran out of text: nothing is left to read
  // CurrentToken is an element start that no read has built yet. A read that
  // ends with the text right after a start tag must not build it again.
  bool start_pending_ = false;
  std::vector<std::u16string_view> parts_;  // the parts of the path being sought
  std::vector<std::u16string_view> names_;  // a path being resolved
};

}  // namespace xml
