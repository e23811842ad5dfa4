#include "xml/text_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/buffered_read_stream.h"
#include "xml_test_util.h"

using namespace xml;
using namespace xml_test;

namespace {

std::u16string ReadRest(TTextReader& reader) {
  std::u16string text;
  char16_t ch;
  while (reader.ReadNextChar(ch)) text += ch;
  return text;
}

std::u16string DecodeAll(const std::string& bytes, int buffer_size, TEncodingPtr encoding) {
  common::TVirtualMemoryStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  TTextReader reader(buffer_size);
  reader.InitStream(stream, std::move(encoding));
  return ReadRest(reader);
}

}  // namespace

TEST(TextReader, CountsLinesAndColumns) {
  const std::string text = "ab\r\nc\rd\ne\n\r";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  TTextReader reader(16384);
  reader.InitStream(stream, Shared(EncodingUTF8()));
  EXPECT_EQ(reader.Line(), 1);
  struct Step {
    int64_t line, column;
  };
  const Step expected[] = {{1, 1}, {1, 2}, {2, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1}, {4, 0}, {4, 1}, {5, 0}, {6, 0}};
  char16_t ch;
  for (size_t i = 0; i < std::size(expected); ++i) {
    ASSERT_TRUE(reader.ReadNextChar(ch));
    EXPECT_EQ(reader.Line(), expected[i].line) << i;
    EXPECT_EQ(reader.LinePosition(), expected[i].column) << i;
    EXPECT_EQ(reader.FilePosition(), static_cast<int64_t>(i + 1));
  }
  EXPECT_FALSE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, 0);
  EXPECT_TRUE(reader.EndOfStream());
}

TEST(TextReader, PositionsAcrossBlockBoundaries) {
  // Letters and line breaks in blocks of 16 characters, some given back and
  // read again: every position as the rules per character give it, whichever
  // block a CR LF pair or a given-back character falls in.
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const size_t length = 1 + rng() % 90;
    for (size_t i = 0; i < length; ++i) text += "ab\r\n"[rng() % 4];
    common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    TTextReader reader(16);
    reader.InitStream(stream, Shared(EncodingUTF8()));
    int64_t line = 1, column = 0, file = 0;
    char previous = 0;
    bool given_back = false;
    char16_t ch;
    for (;;) {
      if (!given_back && file > 0 && rng() % 3 == 0) {
        reader.UndoRead();
        given_back = true;
        --column;
        --file;
        ASSERT_EQ(reader.LinePosition(), column) << round;
        ASSERT_EQ(reader.FilePosition(), file) << round;
      }
      if (!reader.ReadNextChar(ch)) break;
      if (given_back) {
        given_back = false;
        ASSERT_EQ(ch, static_cast<char16_t>(text[static_cast<size_t>(file)])) << round;
        ++column;
      } else {
        const char c = text[static_cast<size_t>(file)];
        ASSERT_EQ(ch, static_cast<char16_t>(c)) << round;
        if (c == '\n') {
          if (previous != '\r') ++line;
          column = 0;
        } else if (c == '\r') {
          ++line;
          column = 0;
        } else {
          ++column;
        }
        previous = c;
      }
      ++file;
      ASSERT_EQ(reader.Line(), line) << round << " at " << file;
      ASSERT_EQ(reader.LinePosition(), column) << round << " at " << file;
      ASSERT_EQ(reader.FilePosition(), file) << round;
    }
    EXPECT_EQ(file, static_cast<int64_t>(text.size()));
  }
}

TEST(TextReader, UndoRead) {
  const std::string text = "xy";
  common::TVirtualMemoryStream stream(text.data(), 2);
  TTextReader reader(16384);
  reader.InitStream(stream, Shared(EncodingUTF8()));
  char16_t ch;
  ASSERT_TRUE(reader.ReadNextChar(ch));
  reader.UndoRead();
  EXPECT_EQ(reader.LinePosition(), 0);
  EXPECT_EQ(reader.FilePosition(), 0);
  try {
    reader.UndoRead();
    FAIL();
  } catch (const ETextReader& e) {
    EXPECT_STREQ(e.what(), "Unsupported: you tried to run the undo function two times in a row.");
  }
  ASSERT_TRUE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, u'x');
  EXPECT_EQ(reader.FilePosition(), 1);
  ASSERT_TRUE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, u'y');
  EXPECT_FALSE(reader.ReadNextChar(ch));
  reader.UndoRead();  // nothing to give back at the end
  EXPECT_FALSE(reader.ReadNextChar(ch));
}

TEST(TextReader, TinyStreamsKeepTheDefaultEncoding) {
  for (const std::string& text : {std::string(), std::string("\xFF")}) {
    common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    TTextReader reader(16384);
    reader.InitStream(stream, Shared(EncodingUTF16BE()));
    EXPECT_EQ(reader.Encoding(), EncodingUTF16BE());
    EXPECT_FALSE(reader.BOMFound());
  }
  const std::string bom =
      "\xEF\xBB\xBF"
      "ok";
  common::TVirtualMemoryStream stream(bom.data(), static_cast<int64_t>(bom.size()));
  TTextReader reader(16384);
  reader.InitStream(stream, Shared(EncodingUTF16BE()));
  EXPECT_TRUE(reader.BOMFound());
  EXPECT_EQ(ReadRest(reader), u"ok");
}

TEST(TextReader, Utf8SequenceCutAtTheBlockEnd) {
  // A Cyrillic letter across the 16384-byte boundary of the XML reader's blocks.
  const std::string text = std::string(16383, 'a') + "Жb";
  const std::u16string decoded = DecodeAll(text, 16384, Shared(EncodingUTF8()));
  EXPECT_EQ(decoded.size(), 16385u);
  EXPECT_EQ(decoded.substr(16383), u"Жb");

  // Every split of every sequence length with small blocks.
  std::mt19937 rng(3);
  const char* pieces[] = {"a", "Ж", "€", "😀", "\xFF", "\xE2\x82"};
  for (int round = 0; round < 200; ++round) {
    std::string bytes;
    while (bytes.size() < 100) bytes += pieces[rng() % 6];
    const std::u16string whole = platform::Utf8ToUtf16(bytes);
    for (int size : {16, 17, 18, 19, 23}) ASSERT_EQ(DecodeAll(bytes, size, Shared(EncodingUTF8())), whole) << size;
  }
}

TEST(TextReader, DoubleByteLeadCutAtTheBlockEnd) {
  std::string bytes;
  std::u16string expected;
  for (int i = 0; i < 40; ++i) {
    bytes += (i % 3 == 0) ? "a" : "\x93\xfa";  // 日
    expected += (i % 3 == 0) ? u"a" : u"日";
  }
  for (int size : {16, 17, 18, 19}) {
    EXPECT_EQ(DecodeAll(bytes, size, EncodingFromCodePage(932)), expected) << size;
    // Through the wrapping stream as well.
    TPlainStream stream(bytes, 5);
    TTextReader reader(size);
    reader.InitStream(stream, EncodingFromCodePage(932));
    EXPECT_EQ(ReadRest(reader), expected);
  }
  // A lead byte at the very end becomes one replacement character.
  EXPECT_EQ(DecodeAll("ab\x93", 16, EncodingFromCodePage(932)), u"ab\xFFFD");
}

TEST(TextReader, UnknownCodePageFallsBackToAscii) {
  EXPECT_EQ(DecodeAll("plain", 16, EncodingFromCodePage(12345)), u"plain");
}

TEST(TextReader, SetEncodingRestartsFromTheFirstByte) {
  const std::string text = "\xC6\xE0";  // "Жа" in 1251, two invalid bytes in UTF-8
  common::TVirtualMemoryStream stream(text.data(), 2);
  TTextReader reader(16384);
  reader.InitStream(stream, Shared(EncodingUTF8()));
  char16_t ch;
  ASSERT_TRUE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, 0xFFFD);
  reader.SetEncoding(Shared(EncodingUTF8()));  // the same: nothing changes
  ASSERT_TRUE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, 0xFFFD);
  EXPECT_EQ(reader.FilePosition(), 2);
  reader.SetEncoding(EncodingFromCodePage(1251));
  EXPECT_EQ(reader.FilePosition(), 0);
  EXPECT_EQ(ReadRest(reader), u"Жа");

  // Through the wrapper, with the buffer held, the source is not asked to seek back.
  TPlainStream plain(std::string(20000, 'q') + "\xC6", 1000);
  TTextReader wrapped(16384);
  wrapped.InitStream(plain, Shared(EncodingUTF8()));
  wrapped.HoldBuffer();
  std::u16string first = ReadRest(wrapped);
  EXPECT_EQ(first.back(), 0xFFFD);
  // The end released the stream: with no stream a new encoding reads nothing.
  wrapped.SetEncoding(EncodingFromCodePage(1251));
  EXPECT_EQ(ReadRest(wrapped), u"");

  TPlainStream again(std::string(20000, 'q') + "\xC6", 1000);
  wrapped.InitStream(again, Shared(EncodingUTF8()));
  wrapped.HoldBuffer();
  for (int i = 0; i < 17000; ++i) ASSERT_TRUE(wrapped.ReadNextChar(ch));
  wrapped.SetEncoding(EncodingFromCodePage(1251));
  EXPECT_EQ(ReadRest(wrapped), std::u16string(20000, u'q') + u"Ж");
  EXPECT_EQ(again.backward_seeks, 0);
}

TEST(TextReader, PreviousAndNextStrings) {
  const std::string text = "first line\r\nsecond line here\nthird";
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  TTextReader reader(16384);
  reader.InitStream(stream, Shared(EncodingUTF8()));
  char16_t ch;
  for (int i = 0; i < 19; ++i) reader.ReadNextChar(ch);  // up to "second "
  EXPECT_EQ(reader.ReadPreviousString(30, true), u"second ");
  EXPECT_EQ(reader.ReadPreviousString(30, false), u"first line\r\nsecond ");
  EXPECT_EQ(reader.ReadPreviousString(3, false), u"nd ");
  EXPECT_EQ(reader.ReadString(4, true), u"line");
  EXPECT_EQ(reader.ReadString(20, true), u" here");
  ASSERT_TRUE(reader.ReadNextChar(ch));
  EXPECT_EQ(ch, u'\n');  // given back by the stop
  EXPECT_EQ(reader.ReadString(20, false), u"third");
}

TEST(TextReader, ParseErrorsUnderEachMode) {
  const std::string text = "ab\r\ncd\r\nefghijklmnopqrstuvwxyz\r\nnext";
  for (TErrorHandling mode : {TErrorHandling::Silent, TErrorHandling::RaiseAndCatch, TErrorHandling::Raise}) {
    common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
    TTextReader reader(16384);
    reader.InitStream(stream, Shared(EncodingUTF8()));
    reader.SetErrorHandling(mode);
    char16_t ch;
    for (int i = 0; i < 15; ++i) reader.ReadNextChar(ch);  // line 3, column 7
    bool raised = false;
    try {
      reader.RaiseParseError<TXMLParseErrorInvalidStructure>(u"Reason %s and %s.", {u"one", u"two"});
    } catch (const EXMLReaderInvalidStructure& e) {
      raised = true;
      EXPECT_EQ(e.ErrorCode(), 3);
      EXPECT_EQ(e.Line(), 3);
    }
    EXPECT_EQ(raised, mode == TErrorHandling::Raise);
    ASSERT_TRUE(reader.ParseError());
    const ITextParseError& error = *reader.ParseError();
    EXPECT_EQ(error.Reason(), u"Reason one and two.");
    EXPECT_EQ(error.Line(), 3);
    EXPECT_EQ(error.LinePosition(), 7);
    EXPECT_EQ(error.SourceStub(), u"efghijklmnopqrstu");
    EXPECT_EQ(error.SourceStubPosition(), 7);
    EXPECT_EQ(U8(error.Message()),
              "Reason one and two.\r\n\r\nReading at:\r\nLine: 3\r\nChar: 7\r\nPosition in source stub: 7\r\n"
              "Source stub:\r\nefghijklmnopqrstu");
  }
}

TEST(TextReader, ExceptionTextWithUrl) {
  TXMLParseErrorInvalidCharacter error;
  error.Set(u"C:\\data\\plan.xml", u"The character \"<\" cannot occur in text.", 12, 40, u"<a><", 4);
  EXPECT_EQ(U8(error.Message()),
            "The character \"<\" cannot occur in text.\r\n\r\nReading at:\r\nURL: C:\\data\\plan.xml\r\n"
            "Line: 12\r\nChar: 40\r\nPosition in source stub: 4\r\nSource stub:\r\n<a><");
  try {
    error.RaiseException();
  } catch (const EXMLReaderInvalidCharacter& e) {
    EXPECT_EQ(e.ErrorCode(), 5);
    EXPECT_EQ(e.what(), U8(error.Message()));
    EXPECT_EQ(e.SourceStubPosition(), 4);
    EXPECT_EQ(e.URL(), u"C:\\data\\plan.xml");
  }
  TTextParseError plain;
  try {
    plain.RaiseException();
  } catch (const EXMLReaderInvalidCharacter&) {
    FAIL() << "the base record raises the base exception";
  } catch (const ETextReaderException& e) {
    EXPECT_EQ(e.ErrorCode(), 0);
  }
  error.RaiseAndCatchException();  // nothing leaves
}

TEST(TextReader, StreamsReadDirectlyOrWrapped) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "vorlanex_text_reader_test.xml";
  {
    common::TFileStream file(path.string(), common::TFileMode::fmCreate);
    file.WriteBuffer("file text", 9);
  }
  {
    common::TFileStream file(path.string(), common::TFileMode::fmOpenRead);
    TTextReader reader(16);
    reader.InitStream(file, Shared(EncodingUTF8()));
    EXPECT_EQ(ReadRest(reader), u"file text");
  }
  std::filesystem::remove(path);

  // A stream that starts in the middle: reading starts at its position.
  common::TMemoryStream memory;
  memory.WriteBuffer("skip|rest", 9);
  memory.SetPosition(5);
  TTextReader reader(16);
  reader.InitStream(memory, Shared(EncodingUTF8()));
  EXPECT_EQ(ReadRest(reader), u"rest");

  TPlainStream plain("wrapped", 3);
  reader.InitStream(plain, Shared(EncodingUTF8()));
  EXPECT_EQ(ReadRest(reader), u"wrapped");
}

TEST(BufferedReadStream, ReadSeekAndHold) {
  EXPECT_THROW(
      {
        try {
          TBufferedReadStream stream(nullptr, 16, false);
        } catch (const EBufferedReadStream& e) {
          EXPECT_STREQ(e.what(), "The aStream parameter must be assigned when creating a buffered stream.");
          throw;
        }
      },
      EBufferedReadStream);

  std::string data;
  for (int i = 0; i < 1000; ++i) data += static_cast<char>('a' + i % 26);
  TPlainStream source(data, 7);
  TBufferedReadStream stream(&source, 16, false);
  EXPECT_EQ(stream.Size(), 1000);
  try {
    stream.Write("x", 1);
    FAIL();
  } catch (const EBufferedReadStream& e) {
    EXPECT_STREQ(e.what(), "You can't write to TBufferedReadStream");
  }
  char buffer[1000];
  EXPECT_EQ(stream.Read(buffer, -5), 0);
  stream.HoldBuffer();
  EXPECT_EQ(stream.Read(buffer, 100), 100);  // refilled as often as needed
  EXPECT_EQ(std::string(buffer, 100), data.substr(0, 100));
  EXPECT_EQ(stream.Position(), 100);
  // Held: going back stays in the window.
  EXPECT_EQ(stream.Seek(3, common::TSeekOrigin::soBeginning), 3);
  EXPECT_EQ(stream.Read(buffer, 5), 5);
  EXPECT_EQ(std::string(buffer, 5), data.substr(3, 5));
  EXPECT_EQ(source.backward_seeks, 0);
  stream.ReleaseBuffer();
  stream.ReleaseBuffer();  // never below zero
  EXPECT_EQ(stream.HoldCount(), 0);
  EXPECT_EQ(stream.Seek(-10, common::TSeekOrigin::soEnd), 990);
  EXPECT_EQ(stream.Read(buffer, 100), 10);
  EXPECT_EQ(std::string(buffer, 10), data.substr(990));
  // Not held: the window moved on, so going back asks the source.
  EXPECT_EQ(stream.Seek(0, common::TSeekOrigin::soBeginning), 0);
  EXPECT_EQ(stream.Read(buffer, 1000), 1000);
  EXPECT_EQ(std::string(buffer, 1000), data);
  EXPECT_GT(source.backward_seeks, 0);
  EXPECT_EQ(stream.Seek(-1, common::TSeekOrigin::soCurrent), 999);
}

TEST(BufferedReadStream, OwnsItsSourceWhenAsked) {
  auto source = std::make_unique<TPlainStream>("owned");
  TBufferedReadStream stream(source.release(), 4, true);  // freed with the stream
  char buffer[8];
  EXPECT_EQ(stream.Read(buffer, 8), 5);
}
