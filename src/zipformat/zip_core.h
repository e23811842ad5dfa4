#pragma once
// What the objects that do an archive operation's work (the directory reader,
// the lister, the engine's own reader) need from whoever runs the operation.

#include <cstdint>
#include <string>

#include "zipformat/zip_name.h"

namespace zip {

// The default answers suit a reader without a component: automatic name
// decoding, no diagnostics, warnings dropped, no cancellation.
class TZipContext {
 public:
  virtual ~TZipContext();

  virtual TZipNameOptions NameOptions() const { return {}; }
  virtual bool Verbose() const { return false; }

  // A warning (message id and extra text): recorded and shown, the work goes on.
  virtual void ReportWarning(int code, const std::string& extra);
  // A diagnostic line; "#" and "!" at its start stand for the trace and info prefixes.
  virtual void Diag(const std::string& text);

  // Progress of a long step: caption and total, then advances.
  virtual void ProgressStart(const std::string& caption, int64_t total);
  virtual void ProgressAdvance(int64_t count);
  virtual void ProgressEnd();

  // The cancellation poll: true when a cancel was requested before it ran.
  virtual bool CheckCancel() { return false; }
  // The id an abandoned operation reports (2 for a user cancel).
  virtual int CancelCode() const { return 2; }

  // The text of a message id.
  virtual std::string LoadStr(int id) const;
};

// The context used when none is given.
TZipContext& DefaultZipContext();

// Base of the objects that work for an operation.
class TZipCore {
 public:
  explicit TZipCore(TZipContext& context) : context_(&context) {}
  virtual ~TZipCore();
  TZipCore(const TZipCore&) = delete;
  TZipCore& operator=(const TZipCore&) = delete;

  TZipContext& Context() const { return *context_; }

 private:
  TZipContext* context_;
};

}  // namespace zip
