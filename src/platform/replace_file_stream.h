#pragma once
// Writes a file under a temporary name beside its final name and puts it in
// place only when it is complete, so a failed write never leaves a partial file
// under the final name (nor destroys the file that was there).

#include <cstdint>
#include <string>
#include <system_error>

#include "common/stream.h"

namespace platform {

class TReplaceFileStream : public common::THandleStream {
 public:
  // Creates a new temporary file in the final name's folder (never following
  // or reusing an existing entry). Raises common::EFCreateError on failure.
  explicit TReplaceFileStream(const std::string& final_name);
  // Removes the temporary file unless Commit succeeded.
  ~TReplaceFileStream() override;

  // Remembers the system's reason of the first write that fails.
  int64_t Write(const void* buffer, int64_t count) override;

  const std::string& FinalName() const { return final_name_; }
  // Why creating, writing or committing failed; none while all went well.
  const std::error_code& Error() const { return error_; }
  const std::string& TempName() const { return temp_name_; }

  // The modification time the file gets on Commit (seconds since 1970 UTC).
  void SetModificationTime(int64_t unix_seconds) {
    stamp_ = unix_seconds;
    has_stamp_ = true;
  }
  // Closes the file, sets its time and renames it over the final name
  // (replacing a file, or a link itself, of that name). False on failure; the
  // temporary file is removed then.
  bool Commit();
  // Closes and removes the temporary file.
  void Discard();

 private:
  void CloseHandle();
  std::string final_name_;
  std::string temp_name_;
  int64_t stamp_ = 0;
  bool has_stamp_ = false;
  bool committed_ = false;
  std::error_code error_;
};

}  // namespace platform
