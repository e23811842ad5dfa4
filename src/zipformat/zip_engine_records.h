#pragma once
// The records the archive component and the extraction engine exchange, the
// engine's entry points, and the values both sides agree on. Everything here
// is plain C data: no C++ type or exception crosses the library boundary.
// Pointer and handle fields have the native width, so on 64-bit builds the
// records are larger than on 32-bit ones; the field order is fixed.

#include <stdint.h>

#include <string>

#if defined(_WIN32) && !defined(_WIN64)
#define ZE_CALL __stdcall
#else
#define ZE_CALL
#endif

#if defined(_WIN32)
#define ZE_EXPORT __declspec(dllexport)
#else
#define ZE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

struct TZipCallbackRecord;
struct TZipStreamRecord;
typedef int(ZE_CALL* TZipMainCallback)(TZipCallbackRecord* record);
typedef int(ZE_CALL* TZipStreamCallback)(TZipStreamRecord* record);

// One command for ZE_Exec; filled with zeros, then set.
struct TZipCommandRecord {
  intptr_t window;  // parent for the engine's own dialogs, 0 when unattended
  void* caller;     // handed back unchanged in every callback
  int32_t version;  // kZipEngineInterface
  TZipMainCallback main_callback;
  TZipStreamCallback stream_callback;
  int32_t verbosity;  // -1 trace, 1 verbose, 0 quiet
  int32_t encoding;   // name encoding ordinal, masked with 0x7F
  int32_t reserved1;
  int32_t code_page;           // for names taken as ANSI; 0 = the system ANSI code page
  uint32_t options;            // kZipOpt* bits
  int32_t password_req_count;  // how often the engine may ask for a password
  uint8_t reserved2[28];       // used by other commands only
  uint32_t check;              // kZipCommandCheck
};

// The engine's questions and reports (owned by the engine, passed by address).
struct TZipCallbackRecord {
  void* caller;  // the command's caller field
  int32_t reserved;
  int32_t is_operation_add;
  int32_t action;      // low 6 bits select the action
  int32_t text_width;  // 0: 8-bit (UTF-8) texts; 1: UTF-16; 2: UTF-8 handed back marked
  const void* msg;     // text (answers are put here too)
  const void* msg2;    // second text
  int64_t file_size;   // a size; for the key hand-over the key itself
  int64_t written;     // bytes done
  int32_t arg1, arg2, arg3;
  uint32_t check;  // kZipCallbackCheck
};

// Reading and writing of caller-supplied streams.
struct TZipStreamRecord {
  void* caller;
  int32_t reserved;
  void* stream;       // the stream object the component gave on open
  int32_t number;     // stream number of the "n:name" specification
  uint8_t operation;  // TZipStreamOperation
  uint8_t padding[3];
  void* buffer;
  int64_t position;    // a position or a size
  int32_t count;       // byte count; for a seek the origin in its low 16 bits
  uint32_t date_time;  // DOS stamp
  uint32_t attributes;
  uint32_t check;  // kZipStreamCheck
};

// The entry points.
typedef int(ZE_CALL* TZE_Exec)(TZipCommandRecord* command);
typedef int(ZE_CALL* TZE_Version)(void);
typedef int(ZE_CALL* TZE_PrivVersion)(void);
typedef void(ZE_CALL* TZE_Abort)(intptr_t key);
typedef void(ZE_CALL* TZE_Name)(char* buffer, int capacity, int wide);
typedef const char*(ZE_CALL* TZE_Banner)(void);
typedef const char*(ZE_CALL* TZE_Path)(void);

}  // extern "C"

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(TZipCommandRecord) == 76, "command record layout");
static_assert(sizeof(TZipStreamRecord) == 48, "stream record layout");
#endif

namespace zip {

constexpr int kZipEngineInterface = 190;
constexpr int kZipEngineMinBuild = 1900111;
constexpr uint32_t kZipCommandCheck = 0x03070505;
constexpr uint32_t kZipCallbackCheck = 1799;
constexpr uint32_t kZipStreamCheck = 1803;

// Option bits of the command.
constexpr uint32_t kZipOptExtract = 0x4;
constexpr uint32_t kZipOptTest = 0x8;
constexpr uint32_t kZipOptAlways = 0x20;
constexpr uint32_t kZipOptUpdate = 0x80;
constexpr uint32_t kZipOptFreshen = 0x100;
constexpr uint32_t kZipOptDirNames = 0x200;
constexpr uint32_t kZipOptOverwrite = 0x400;
constexpr uint32_t kZipOptNTFS = 0x8000000;

// Callback actions (low 6 bits of the action code).
enum TZipCallbackAction : int32_t {
  zacTotalFiles = 1,    // file_size: the number of entries to do
  zacTotalSize = 2,     // file_size: their bytes
  zacNewFile = 3,       // msg: name, file_size: its size
  zacItemProgress = 4,  // written: bytes of the item done
  zacEndItem = 5,
  zacEndBatch = 6,
  zacExtraProgress = 7,
  zacMessage = 8,  // msg: text, arg1: code
  zacSetAddName = 9,
  zacPassword = 10,   // msg: file; arg1: the ask count
  zacCRCError = 11,   // msg: file; arg1: found CRC, arg2: stored CRC
  zacOverwrite = 12,  // msg: file; arg1: 1 when the existing file is older, arg2: entry index
  zacSkipped = 13,    // msg: file; arg1: TZipSkipTypes, arg2: error value
  zacFileComment = 14,
  zacFileExtra = 15,
  zacSetExtName = 16,  // msg: the name the file would get
  zacKey = 18,         // file_size: the operation key for ZE_Abort
  zacArgument = 19,    // arg1: selector, arg3: index (specifications)
};

// Selectors of the argument request.
enum TZipArgument : int32_t {
  zaaFileName = 0,
  zaaPassword = 1,
  zaaRootDir = 2,
  zaaExtractDir = 3,
  zaaComment = 4,
  zaaIncludeSpec = 5,
  zaaExcludeSpec = 6,
  zaaStoredExtensions = 7,
  zaaTempDir = 8,
};

// zsoOpen: the engine gives in position the most bytes the entry can yield;
// a memory stream may answer with buffer and count, memory the engine may
// decompress into directly and then hand over with zsoWrite pointing into it.
enum TZipStreamOperation : uint8_t {
  zsoIdentify = 0,
  zsoOpen = 1,
  zsoClose = 2,
  zsoSeek = 3,
  zsoRead = 4,
  zsoWrite = 5,
};

// Why a file was skipped (the reason of action 13).
enum TZipSkipTypes : int32_t {
  stOnFreshen,
  stNoOverwrite,
  stFileExists,
  stBadPassword,
  stBadName,
  stCompressionUnknown,
  stUnknownZipHost,
  stZipFileFormatWrong,
  stGeneralExtractError,
  stUser,
  stCannotDo,
  stNotFound,
  stNoShare,
  stNoAccess,
  stNoOpen,
  stDupName,
  stReadError,
  stSizeChange,
  stNothingToDo,
  stPackedToStored,
  stUnsafePath,
  stLink,
  stEncryption,
  stCRCError,
};
constexpr int kZipSkipTypeCount = stCRCError + 1;

// Engine message codes: the low 6 bits k stand for the message 231 + k; bit
// 0x800 with a level of 0x200 or more in bits 0x700 puts that message's text
// in front of the engine's own.
constexpr int32_t kZipMsgPrefixed = 0x800;
constexpr int32_t kZipMsgWarningLevel = 0x200;
constexpr int32_t kZipMsgErrorLevel = 0x300;

// Engine results below 0 (the component's message is 231 + |result|).
enum TZipEngineResult : int {
  zerCancelled = -1,
  zerAborted = -2,
  zerCallback = -3,
  zerNoMemory = -4,
  zerStructure = -5,
  zerFatal = -6,
  zerPassword = -7,
  zerPasswordCancelled = -8,
  zerInvalidZip = -9,
  zerNoCentral = -10,
  zerUnexpectedEnd = -11,
  zerPrematureEnd = -12,
  zerOpenZip = -13,
  zerMultiPart = -14,
  zerNotFound = -15,
  zerLogic = -16,
  zerNothingToDo = -17,
  zerBadOptions = -18,
  zerTempFile = -19,
  zerNoPermission = -20,
  zerRead = -21,
  zerCreate = -22,
  zerWrite = -23,
  zerSeek = -24,
  zerEmptyZip = -25,
  zerBadName = -26,
  zerError = -27,
  zerNothingFound = -28,
  zerWarning = -29,
  zerDelete = -30,
  zerImport = -31,
  zerSkipping = -32,
  zerLocked = -33,
  zerAccessDenied = -34,
  zerDuplicate = -35,
  zerSkippedFiles = -36,
};

// A zero-terminated text of a record as UTF-8: 8-bit texts are UTF-8 already,
// a width of 1 marks UTF-16.
std::string RecordText(const void* text, int32_t width);

}  // namespace zip
